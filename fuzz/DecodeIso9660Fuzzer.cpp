// Volume descriptors: the type, Joliet, the primary descriptor with its dates, and the volume
// serial number. The input is tried as it is and as a whole 2,048-byte block.
#include "FuzzSupport.h"

#include "disc/Decoders.h"

#include <algorithm>
#include <locale>

namespace {

void DecodeBlock(tolvane::ConstBytes block)
{
    using namespace tolvane;
    (void)decode::IdentifyVolumeDescriptor(block);
    (void)decode::IsJoliet(block);
    (void)decode::VolumeSerialOfDescriptor(block);
    const auto vd = decode::DecodePrimaryVolumeDescriptor(block);
    if (!vd)
        return;
    TOLVANE_FUZZ_CHECK(vd->creation.size() == 17 && vd->effective.size() == 17);
    for (const std::string* date : {&vd->creation, &vd->modification, &vd->expiration, &vd->effective})
        (void)decode::FormatIsoDate(*date, std::locale::classic());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    DecodeBlock(ConstBytes(data, size));
    if (size != decode::SectorSize) {
        std::vector<std::uint8_t> block(decode::SectorSize, 0);
        std::copy_n(data, std::min(size, block.size()), block.begin());
        DecodeBlock(block);
    }
    // The date formatter on its own, for fields of any length and content.
    (void)decode::FormatIsoDate(
        std::string_view(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 17)),
        std::locale::classic());
    return 0;
}
