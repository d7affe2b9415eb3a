// Formatted Q frames decoded from bytes laid out by hand after the Red Book (ADR 1 position in
// BCD; ADR 2 thirteen BCD digits; ADR 3 five 6-bit characters, two zero bits and seven BCD
// digits), with CRCs computed apart from the code under test.
#include "rip/SubQ.h"

#include "support/Hex.h"

#include <gtest/gtest.h>

namespace tolvane::rip {
namespace {

using test::Hex;

TEST(DecodeQ, PositionCatalogueNumberAndIsrcFrames)
{
    // Track 11, index 2, 85 frames after INDEX 01 (00:01:10), disc time 25:29:27; pre-emphasis.
    const auto position = DecodeQ(Hex("11 11 02 00 01 10 00 25 29 27 F7 60 00 00 00 00"));
    ASSERT_TRUE(position);
    EXPECT_EQ(position->adr, 1);
    EXPECT_EQ(position->control, 0x1);
    EXPECT_EQ(position->track, 11);
    EXPECT_EQ(position->index, 2);
    EXPECT_EQ(position->relative, 85);
    EXPECT_EQ(position->lba, 114552);
    // The lead-out's track number is AA, not BCD.
    const auto leadOut = DecodeQ(Hex("01 AA 01 00 00 05 00 45 23 35 C0 F6"));
    ASSERT_TRUE(leadOut);
    EXPECT_EQ(leadOut->track, LeadOutTrack);
    EXPECT_EQ(leadOut->lba, 204110);
    // The Breeders' catalogue number, and their first ISRC: G B A F L are 17 12 11 16 1C in the
    // 6-bit code (ASCII less 0x30), 010111 010010 010001 010110 011100 00 = 5D 24 56 70.
    const auto mcn = DecodeQ(Hex("02 06 52 63 72 80 32 60 00 17 80 97"));
    ASSERT_TRUE(mcn);
    EXPECT_EQ(mcn->adr, 2);
    EXPECT_EQ(mcn->code, "0652637280326");
    const auto isrc = DecodeQ(Hex("03 5D 24 56 70 07 00 21 30 42 DD 3E"));
    ASSERT_TRUE(isrc);
    EXPECT_EQ(isrc->adr, 3);
    EXPECT_EQ(isrc->code, "GBAFL0700213");
}

TEST(DecodeQ, BadCrcAndImpossibleFieldsAreNoFrame)
{
    // The CRC as the disc stores it (inverted) and as some drives hand it over (plain).
    EXPECT_TRUE(QCrcMatches(Hex("03 5D 24 56 70 07 00 21 30 42 DD 3E")));
    EXPECT_TRUE(QCrcMatches(Hex("03 5D 24 56 70 07 00 21 30 42 22 C1")));
    EXPECT_FALSE(QCrcMatches(Hex("03 5D 24 56 70 07 00 21 31 42 DD 3E"))) << "one bit off";
    EXPECT_FALSE(DecodeQ(Hex("03 5D 24 56 70 07 00 21 31 42 DD 3E")));
    EXPECT_FALSE(QCrcMatches(Hex("03 5D 24 56 70 07 00 21 30 42 DD"))) << "too short";
    // With a good CRC: a second of 2A is no BCD, and 0A is no ISRC character.
    EXPECT_FALSE(DecodeQ(Hex("11 11 02 00 01 10 00 25 2A 27 A2 33")));
    EXPECT_FALSE(DecodeQ(Hex("03 29 24 56 70 07 00 21 30 42 EA 0A")));
}

} // namespace
} // namespace tolvane::rip
