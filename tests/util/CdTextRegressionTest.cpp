// Packs found by fuzzing that the decoder once read wrongly, kept byte for byte.
#include "util/CdText.h"

#include "support/Hex.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane::cdtext {
namespace {

// A title pack, then two genre packs whose first carries the double-byte flag. The genre text
// is ASCII in every block, so it ends at the first NUL byte; read two bytes at a time it ran on
// past that NUL and took the bytes after it ("00 01 2b 00") into the text.
const char* const GenreWithDoubleByteFlag = "80 00 00 00 4d 4f 55 87 87 87 87 87 87 87 87 87 87 87"
                                            "87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87"
                                            "87 87 87 87 87 87 87 87 87 00 00 01 2b 00 00 00 da 77";

TEST(CdTextRegression, GenreTextEndsAtItsNulWhateverThePackFlag)
{
    const Decoded decoded = Decode(test::Hex(GenreWithDoubleByteFlag));
    ASSERT_EQ(decoded.blocks.size(), 1u);
    const Block& block = decoded.blocks.front();
    EXPECT_EQ(block.genreCode, 0x8787);
    EXPECT_EQ(block.genreText, std::string(15, '\x87'));

    // What is decoded is what the encoder writes back, so a second round keeps it.
    const auto packs = Encode(decoded.blocks, 1, 1);
    const Decoded again = Decode(packs);
    ASSERT_EQ(again.blocks.size(), 1u);
    EXPECT_EQ(again.blocks.front().genreText, block.genreText);
    EXPECT_EQ(Encode(again.blocks, 1, 1), packs);
}

} // namespace
} // namespace tolvane::cdtext
