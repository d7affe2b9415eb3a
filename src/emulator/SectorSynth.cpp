#include "emulator/SectorSynth.h"

#include "util/Msf.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace tolvane::emulator::synth {

namespace {

constexpr std::size_t Mode1EdcOffset = 2064;
constexpr std::size_t Form1EdcOffset = 2072;
constexpr std::size_t Form2EdcOffset = 2348;
constexpr std::size_t EdcSize = 4;
constexpr std::size_t PParityOffset = 2076;
constexpr std::size_t QParityOffset = 2248;

// The EDC polynomial with its bits reversed, as the CRC is computed LSB first.
constexpr std::uint32_t EdcPolynomialReflected = 0xD8018001;

constexpr std::array<std::uint32_t, 256> MakeEdcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? EdcPolynomialReflected : 0);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto EdcTable = MakeEdcTable();

// GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1 of ECMA-130.
struct GaloisTables {
    std::array<std::uint8_t, 256> timesAlpha{};       // x * alpha
    std::array<std::uint8_t, 256> overAlphaPlusOne{}; // x / (alpha + 1)
};

constexpr GaloisTables MakeGaloisTables()
{
    GaloisTables t;
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned doubled = (i << 1) ^ ((i & 0x80) != 0 ? 0x11D : 0);
        t.timesAlpha[i] = static_cast<std::uint8_t>(doubled);
        // i * (alpha + 1) = i ^ i * alpha; this table undoes that product.
        t.overAlphaPlusOne[i ^ doubled] = static_cast<std::uint8_t>(i);
    }
    return t;
}

constexpr auto Gf = MakeGaloisTables();

// One family of RS codewords of the product code. The 2,340 bytes from the
// header on hold two interleaved planes (even bytes: LSBs of the 16-bit words,
// odd bytes: MSBs); each of the `vectors` codewords takes `length` bytes of its
// plane, starting at column (vector / 2) * startStep, stepping by `step` bytes
// and wrapping inside the `vectors * length` bytes covered. The two parity bytes
// of each codeword make both syndromes (the plain sum and the sum weighted by
// powers of alpha) zero: with a = sum of d_i * alpha^(length - i) and b = sum
// of d_i, the parity pair is (p0, p0 ^ b) with p0 = (a * alpha + b) / (alpha + 1).
void ParityFamily(const std::uint8_t* data, std::size_t vectors, std::size_t length, std::size_t startStep,
                  std::size_t step, std::uint8_t* parity)
{
    const std::size_t covered = vectors * length;
    for (std::size_t v = 0; v < vectors; ++v) {
        std::size_t index = (v >> 1) * startStep + (v & 1);
        std::uint8_t weighted = 0;
        std::uint8_t sum = 0;
        for (std::size_t k = 0; k < length; ++k) {
            const std::uint8_t d = data[index];
            index += step;
            if (index >= covered) {
                index -= covered;
            }
            weighted = Gf.timesAlpha[weighted ^ d];
            sum ^= d;
        }
        const std::uint8_t p0 = Gf.overAlphaPlusOne[Gf.timesAlpha[weighted] ^ sum];
        parity[v] = p0;
        parity[v + vectors] = static_cast<std::uint8_t>(p0 ^ sum);
    }
}

void PutEdc(Bytes raw, std::size_t from, std::size_t at)
{
    PutLe32(raw, at, Edc(raw.subspan(from, at - from)));
}

void WriteXaSubHeader(Bytes raw, std::uint8_t submode)
{
    // File 0, channel 0, no coding information; the copy follows the original.
    const std::array<std::uint8_t, 4> subHeader{0, 0, submode, 0};
    std::ranges::copy(subHeader, raw.begin() + SubHeaderOffset);
    std::ranges::copy(subHeader, raw.begin() + SubHeaderOffset + 4);
}

void CompleteForm1(Bytes raw)
{
    PutEdc(raw, SubHeaderOffset, Form1EdcOffset);
    WriteEcc(raw, true);
}

void CompleteForm2(Bytes raw)
{
    // The EDC of form 2 is optional; pressed discs carry it, so we do.
    PutEdc(raw, SubHeaderOffset, Form2EdcOffset);
}

} // namespace

Fields FieldsOf(SectorType type)
{
    switch (type) {
    case SectorType::Any:
    case SectorType::Audio:
        return {0, 0, 0, RawSectorSize, RawSectorSize, RawSectorSize};
    case SectorType::Mode1:
        return {16, 16, 16, Mode1EdcOffset, Mode1EdcOffset, RawSectorSize};
    case SectorType::Mode2Formless:
        return {16, 16, 16, RawSectorSize, RawSectorSize, RawSectorSize};
    case SectorType::Mode2Form1:
        return {16, 24, 24, Form1EdcOffset, Form1EdcOffset, RawSectorSize};
    case SectorType::Mode2Form2:
        return {16, 24, 24, RawSectorSize, RawSectorSize, RawSectorSize};
    }
    return {};
}

void WriteSync(Bytes raw)
{
    raw[0] = 0x00;
    std::fill_n(raw.begin() + 1, 10, std::uint8_t{0xFF});
    raw[11] = 0x00;
}

void WriteHeader(Bytes raw, std::int32_t lba, std::uint8_t mode)
{
    const Msf address = Msf::FromLba(lba);
    raw[HeaderOffset] = ToBcd(address.minute);
    raw[HeaderOffset + 1] = ToBcd(address.second);
    raw[HeaderOffset + 2] = ToBcd(address.frame);
    raw[ModeOffset] = mode;
}

std::uint32_t Edc(ConstBytes bytes)
{
    std::uint32_t crc = 0;
    for (const std::uint8_t b : bytes) {
        crc = (crc >> 8) ^ EdcTable[(crc ^ b) & 0xFF];
    }
    return crc;
}

void WriteEcc(Bytes raw, bool zeroAddress)
{
    assert(raw.size() >= RawSectorSize);
    std::array<std::uint8_t, 4> header{};
    std::copy_n(raw.begin() + HeaderOffset, 4, header.begin());
    if (zeroAddress) {
        std::fill_n(raw.begin() + HeaderOffset, 4, std::uint8_t{0});
    }
    std::uint8_t* const data = raw.data() + HeaderOffset;
    // P: 43 columns of 24 words per plane; Q: 26 diagonals of 43 words per
    // plane, which also cover the P parity.
    ParityFamily(data, 86, 24, 2, 86, raw.data() + PParityOffset);
    ParityFamily(data, 52, 43, 86, 88, raw.data() + QParityOffset);
    std::ranges::copy(header, raw.begin() + HeaderOffset);
}

std::size_t PayloadOffset(SectorFormat format, bool xa)
{
    switch (format) {
    case SectorFormat::Audio:
    case SectorFormat::Raw:
        return 0;
    case SectorFormat::Mode1Data:
    case SectorFormat::Mode2Data:
        return SubHeaderOffset;
    case SectorFormat::Form1Data:
    case SectorFormat::Form2Data:
        return SubHeaderOffset + SubHeaderSize;
    }
    (void)xa;
    return 0;
}

void CompleteRawSector(SectorFormat format, bool xa, std::int32_t lba, Bytes raw)
{
    assert(raw.size() >= RawSectorSize);
    switch (format) {
    case SectorFormat::Audio:
    case SectorFormat::Raw:
        return;
    case SectorFormat::Mode1Data:
        WriteSync(raw);
        WriteHeader(raw, lba, 1);
        PutEdc(raw, 0, Mode1EdcOffset);
        std::fill_n(raw.begin() + Mode1EdcOffset + EdcSize, 8, std::uint8_t{0}); // intermediate field
        WriteEcc(raw, false);
        return;
    case SectorFormat::Mode2Data:
        WriteSync(raw);
        WriteHeader(raw, lba, 2);
        if (xa) {
            if ((raw[SubmodeOffset] & SubmodeForm2) != 0) {
                CompleteForm2(raw);
            } else {
                CompleteForm1(raw);
            }
        }
        return;
    case SectorFormat::Form1Data:
        WriteSync(raw);
        WriteHeader(raw, lba, 2);
        WriteXaSubHeader(raw, SubmodeData);
        CompleteForm1(raw);
        return;
    case SectorFormat::Form2Data:
        WriteSync(raw);
        WriteHeader(raw, lba, 2);
        WriteXaSubHeader(raw, SubmodeForm2);
        CompleteForm2(raw);
        return;
    }
}

void BuildRawSector(SectorFormat format, bool xa, std::int32_t lba, ConstBytes payload, Bytes raw)
{
    const std::size_t offset = PayloadOffset(format, xa);
    const std::size_t size = std::min(payload.size(), BytesPerSector(format));
    std::copy_n(payload.begin(), size, raw.begin() + static_cast<std::ptrdiff_t>(offset));
    CompleteRawSector(format, xa, lba, raw);
}

SectorType TypeOfRaw(ConstBytes raw, bool audio, bool xa)
{
    if (audio) {
        return SectorType::Audio;
    }
    if (raw[ModeOffset] != 2) {
        // Mode 1, and mode 0 (a block of zeros), which drives read with Mode 1's layout.
        return SectorType::Mode1;
    }
    if (!xa) {
        return SectorType::Mode2Formless;
    }
    return (raw[SubmodeOffset] & SubmodeForm2) != 0 ? SectorType::Mode2Form2 : SectorType::Mode2Form1;
}

ConstBytes UserData(ConstBytes raw, SectorType type)
{
    const Fields f = FieldsOf(type);
    return raw.subspan(f.user, f.userEnd - f.user);
}

} // namespace tolvane::emulator::synth
