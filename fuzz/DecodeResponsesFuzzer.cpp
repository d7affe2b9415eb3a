// The short fixed-layout answers: disc information, capacity, the DVD structures, the ATIP,
// the data mode of track information and of a block header.
#include "FuzzSupport.h"

#include "disc/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    const ConstBytes response(data, size);
    if (const auto info = decode::DecodeDiscInformation(response)) {
        TOLVANE_FUZZ_CHECK(info->status <= 3);
        (void)decode::DiscFormatName(info->discType);
    }
    (void)decode::DecodeCapacity(response);
    if (const auto physical = decode::DecodeDvdPhysical(response)) {
        TOLVANE_FUZZ_CHECK(physical->layers >= 1 && physical->layers <= 4);
        (void)decode::DvdBookName(physical->bookType);
    }
    (void)decode::DecodeDvdRegions(response);
    (void)decode::DecodeAtipRewritable(response);
    if (const auto mode = decode::DecodeTrackDataMode(response))
        TOLVANE_FUZZ_CHECK(*mode <= 0x0F);
    (void)decode::DecodeHeaderDataMode(response);
    return 0;
}
