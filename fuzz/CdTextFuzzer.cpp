// CD-Text packs: decoded, encoded again from what was decoded, and that decoded once more.
// Whatever the packs, the ASCII texts come out without NULs; and when the decoded texts are
// ones the encoder can write as they are, a second round changes nothing.
#include "FuzzSupport.h"

#include "util/CdText.h"

#include <algorithm>

namespace {

using namespace tolvane;

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

// Texts the encoder writes byte for byte: whole characters, no NUL inside a single-byte text,
// and no text that reads as the TAB of "same as the track before".
bool Faithful(const cdtext::Block& block)
{
    for (const auto& [type, texts] : block.texts) {
        const bool doubleByte = block.DoubleByte() && type >= cdtext::Title && type <= cdtext::Message;
        for (const std::string& text : texts) {
            if (doubleByte ? text.size() % 2 != 0 || text == "\t\t" : HasNul(text) || text == "\t")
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const cdtext::Decoded decoded = cdtext::Decode(ConstBytes(data, size));
    TOLVANE_FUZZ_CHECK(decoded.blocks.size() <= 8);
    TOLVANE_FUZZ_CHECK(static_cast<std::size_t>(decoded.badCrcPacks) <= size / cdtext::PackSize);
    for (const cdtext::Block& block : decoded.blocks) {
        TOLVANE_FUZZ_CHECK(!HasNul(block.genreText));
        for (const std::uint8_t type : {cdtext::DiscId, cdtext::UpcIsrc}) {
            for (std::size_t i = 0; i <= 100; ++i)
                TOLVANE_FUZZ_CHECK(!HasNul(block.Text(type, i)));
        }
    }
    const bool faithful = std::ranges::all_of(decoded.blocks, Faithful);

    const std::uint8_t first = decoded.firstTrack != 0 ? decoded.firstTrack : 1;
    const std::uint8_t last = decoded.lastTrack != 0 ? decoded.lastTrack : first;
    for (const bool tabs : {false, true}) {
        const std::vector<std::uint8_t> packs = cdtext::Encode(decoded.blocks, first, last, tabs);
        TOLVANE_FUZZ_CHECK(packs.size() % cdtext::PackSize == 0);
        const cdtext::Decoded again = cdtext::Decode(packs);
        TOLVANE_FUZZ_CHECK(again.badCrcPacks == 0);
        TOLVANE_FUZZ_CHECK(again.blocks.size() == decoded.blocks.size());
        if (faithful)
            TOLVANE_FUZZ_CHECK(cdtext::Encode(again.blocks, first, last, tabs) == packs);
    }
    return 0;
}
