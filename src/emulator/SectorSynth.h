// Raw 2,352-byte CD sectors built from the user data an image holds: sync
// pattern, header, CD-ROM XA sub-header, EDC and the P/Q parity of the
// Reed-Solomon product code (ECMA-130), so that READ CD of a data block gives
// what a drive reads off a pressed disc.
#pragma once

#include "emulator/SectorSource.h"
#include "util/ByteOrder.h"

#include <cstddef>
#include <cstdint>

namespace tolvane::emulator::synth {

constexpr std::size_t RawSectorSize = 2352;
constexpr std::size_t SyncSize = 12;
constexpr std::size_t HeaderOffset = 12; // 3 bytes BCD address, then the mode byte
constexpr std::size_t ModeOffset = 15;
constexpr std::size_t SubHeaderOffset = 16; // CD-ROM XA: file, channel, submode, coding, twice
constexpr std::size_t SubHeaderSize = 8;
constexpr std::size_t SubmodeOffset = 18;

// Submode bits of the XA sub-header.
constexpr std::uint8_t SubmodeData = 0x08;
constexpr std::uint8_t SubmodeForm2 = 0x20;

// What a raw sector is, numbered as READ CD's expected sector type field numbers it.
enum class SectorType : std::uint8_t {
    Any = 0,
    Audio = 1,
    Mode1 = 2,
    Mode2Formless = 3,
    Mode2Form1 = 4,
    Mode2Form2 = 5,
};

// Where the fields of a sector of a type lie in its 2,352 bytes, as [begin, end).
// A field a type lacks is empty: Mode 1 has no sub-header, formless Mode 2 and
// form 2 no EDC/ECC field (form 2's optional EDC counts as user data, as READ CD
// returns it). Sync and header are always bytes 0-11 and 12-15, except on audio.
struct Fields {
    std::size_t subHeader = 0, subHeaderEnd = 0;
    std::size_t user = 0, userEnd = 0;
    std::size_t edcEcc = 0, edcEccEnd = 0;
};
Fields FieldsOf(SectorType type);

// The 12-byte sync pattern 00 FF x10 00.
void WriteSync(Bytes raw);
// Header: the disc address of lba (lba + 150) as BCD minute, second, frame, then the mode byte.
void WriteHeader(Bytes raw, std::int32_t lba, std::uint8_t mode);

// The EDC: a CRC-32 (polynomial x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1,
// computed LSB first, no inversion), stored little-endian behind what it covers.
std::uint32_t Edc(ConstBytes bytes);
// The 172 P and 104 Q parity bytes (bytes 2076-2351) over bytes 12 to 2075.
// zeroAddress: computed as if the 4 header bytes were 0, as form 1 does.
void WriteEcc(Bytes raw, bool zeroAddress);

// Where a source's bytes of the given format go in the raw sector. xa: the
// sector belongs to a CD-ROM XA track (a Mode2Data source then starts with the
// sub-header); otherwise Mode2Data is formless Mode 2.
std::size_t PayloadOffset(SectorFormat format, bool xa);

// Completes a raw sector whose payload (BytesPerSector(format) bytes) is already
// at PayloadOffset: sync, header, a sub-header where the format carries none,
// EDC and ECC. Audio and Raw sectors are complete as they are.
void CompleteRawSector(SectorFormat format, bool xa, std::int32_t lba, Bytes raw);
// Copies the payload into place and completes the sector.
void BuildRawSector(SectorFormat format, bool xa, std::int32_t lba, ConstBytes payload, Bytes raw);

// The type of a complete raw sector: audio when the track is audio, else from
// the mode byte and, on an XA track, the sub-header's form bit.
SectorType TypeOfRaw(ConstBytes raw, bool audio, bool xa);

// The user data of a complete raw sector of the given type.
ConstBytes UserData(ConstBytes raw, SectorType type);

} // namespace tolvane::emulator::synth
