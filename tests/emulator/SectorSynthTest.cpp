#include "emulator/SectorSynth.h"

#include "support/TestData.h"
#include "util/Msf.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace tolvane::emulator::synth {
namespace {

// Every raw Mode 1 sector another tool made, rebuilt from its 2,048 bytes of user data, equals the file's.
TEST(SectorSynth, RebuildsEveryMode1SectorOfAnImageOtherToolsMade)
{
    const std::vector<std::uint8_t> image = test::ReadBytes(test::TestDataPath("libcdio/isofs-m1.bin"));
    ASSERT_EQ(image.size(), 302u * RawSectorSize) << "libcdio/isofs-m1.bin missing or changed";
    std::array<std::uint8_t, RawSectorSize> raw{};
    for (std::size_t s = 0; s * RawSectorSize < image.size(); ++s) {
        const ConstBytes original(image.data() + s * RawSectorSize, RawSectorSize);
        raw.fill(0xA5); // whatever was in the buffer must not survive
        BuildRawSector(SectorFormat::Mode1Data, false, static_cast<std::int32_t>(s),
                       original.subspan(16, 2048), raw);
        ASSERT_TRUE(std::equal(raw.begin(), raw.end(), original.begin()))
            << "sector " << s << " differs first at byte "
            << std::mismatch(raw.begin(), raw.end(), original.begin()).first - raw.begin();
        EXPECT_EQ(TypeOfRaw(raw, false, false), SectorType::Mode1);
    }
}

// Both syndromes of every P and Q codeword are 0, laid out as ECMA-130 describes them: 1,170 16-bit
// words from the header on, MSB and LSB planes coded alike. The second syndrome weighs word k of n by
// alpha^(n-1-k), summed by Horner's rule in GF(2^8) with x^8+x^4+x^3+x^2+1; independent of the encoder.
bool ParityHolds(ConstBytes raw)
{
    const auto holds = [&](int plane, std::size_t n, const auto& word) {
        std::uint8_t s0 = 0, s1 = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint8_t v = raw[12 + 2 * word(k) + static_cast<std::size_t>(plane)];
            s0 ^= v;
            s1 = static_cast<std::uint8_t>((s1 << 1) ^ ((s1 & 0x80) != 0 ? 0x1D : 0) ^ v);
        }
        return s0 == 0 && s1 == 0;
    };
    for (int plane = 0; plane < 2; ++plane) {
        for (std::size_t column = 0; column < 43; ++column) { // P: 24 data words and 2 parity words
            if (!holds(plane, 26, [&](std::size_t m) { return 43 * m + column; }))
                return false;
        }
        for (std::size_t diagonal = 0; diagonal < 26; ++diagonal) { // Q: 43 words and 2 parity words
            const auto word = [&](std::size_t k) {
                return k < 43 ? (44 * k + 43 * diagonal) % 1118 : 1118 + 26 * (k - 43) + diagonal;
            };
            if (!holds(plane, 45, word))
                return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> Payload(std::size_t n, std::uint8_t seed)
{
    std::vector<std::uint8_t> p(n);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 8));
    return p;
}

struct FormCase {
    const char* name;
    SectorFormat format;
    bool xa;
    std::uint8_t submode; // written into a Mode2Data payload's sub-header
    SectorType type;
    std::size_t userOffset;
    std::size_t userSize;
    bool hasEcc;
};

class SectorForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(SectorForms, LayoutUserDataAndParity)
{
    const FormCase& c = GetParam();
    std::vector<std::uint8_t> payload = Payload(BytesPerSector(c.format), 0x3C);
    if (c.format == SectorFormat::Mode2Data && c.xa) {
        const std::array<std::uint8_t, 8> subHeader{1, 2, c.submode, 0, 1, 2, c.submode, 0};
        std::ranges::copy(subHeader, payload.begin());
    }
    constexpr std::int32_t lba = 4500 * 62 + 75 * 5 + 7 - 150; // disc address 62:05:07
    std::array<std::uint8_t, RawSectorSize> raw{};
    BuildRawSector(c.format, c.xa, lba, payload, raw);

    const std::array<std::uint8_t, 12> sync{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_TRUE(std::equal(sync.begin(), sync.end(), raw.begin()));
    EXPECT_EQ(raw[12], 0x62);
    EXPECT_EQ(raw[13], 0x05);
    EXPECT_EQ(raw[14], 0x07);
    EXPECT_EQ(raw[15], c.type == SectorType::Mode1 ? 1 : 2);
    EXPECT_EQ(TypeOfRaw(raw, false, c.xa), c.type);

    const ConstBytes user = UserData(raw, c.type);
    EXPECT_EQ(user.data() - raw.data(), static_cast<std::ptrdiff_t>(c.userOffset));
    ASSERT_EQ(user.size(), c.userSize);
    // The source's user bytes come back unchanged (a form 2 sector's last 4 are its EDC).
    const std::size_t skip = c.format == SectorFormat::Mode2Data && c.xa ? SubHeaderSize : 0;
    const std::size_t compared =
        std::min(c.userSize, c.type == SectorType::Mode2Form2 ? std::size_t{2324} : c.userSize);
    EXPECT_TRUE(std::equal(user.begin(), user.begin() + static_cast<std::ptrdiff_t>(compared),
                           payload.begin() + static_cast<std::ptrdiff_t>(skip)));
    if (c.hasEcc) {
        std::array<std::uint8_t, RawSectorSize> checked = raw;
        if (c.type == SectorType::Mode2Form1) // form 1 parity covers a zero header
            std::fill_n(checked.begin() + 12, 4, std::uint8_t{0});
        EXPECT_TRUE(ParityHolds(checked));
        checked[500] ^= 0x40;
        EXPECT_FALSE(ParityHolds(checked)) << "the check itself must see a changed byte";
    }
    if (c.xa) {
        EXPECT_TRUE(std::equal(raw.begin() + 16, raw.begin() + 20, raw.begin() + 20)) << "sub-header twice";
    }
    if (c.type == SectorType::Mode2Form2) { // the EDC covers the last byte of user data too
        payload[skip + 2323] ^= 1;
        std::array<std::uint8_t, RawSectorSize> changed{};
        BuildRawSector(c.format, c.xa, lba, payload, changed);
        EXPECT_NE(Le32(changed, 2348), Le32(raw, 2348));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SectorForms,
    ::testing::Values(
        FormCase{"Mode1", SectorFormat::Mode1Data, false, 0, SectorType::Mode1, 16, 2048, true},
        FormCase{"Form1Data", SectorFormat::Form1Data, true, 0, SectorType::Mode2Form1, 24, 2048, true},
        FormCase{"Form2Data", SectorFormat::Form2Data, true, 0, SectorType::Mode2Form2, 24, 2328, false},
        FormCase{"XaForm1", SectorFormat::Mode2Data, true, SubmodeData, SectorType::Mode2Form1, 24, 2048,
                 true},
        FormCase{"XaForm2", SectorFormat::Mode2Data, true, SubmodeForm2, SectorType::Mode2Form2, 24, 2328,
                 false},
        FormCase{"Formless", SectorFormat::Mode2Data, false, 0, SectorType::Mode2Formless, 16, 2336, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvane::emulator::synth
