// READ SUB-CHANNEL answers: the media catalogue number and the ISRC.
#include "FuzzSupport.h"

#include "disc/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    const ConstBytes response(data, size);
    // Latin-1 to UTF-8 takes at most two bytes per character.
    if (const auto mcn = decode::DecodeMcn(response))
        TOLVANE_FUZZ_CHECK(mcn->size() >= 13 && mcn->size() <= 26);
    if (const auto isrc = decode::DecodeIsrc(response))
        TOLVANE_FUZZ_CHECK(isrc->size() >= 12 && isrc->size() <= 24);
    return 0;
}
