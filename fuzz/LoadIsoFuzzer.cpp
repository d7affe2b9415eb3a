// ISO images: the input as an image file, and (when it is not a whole number of blocks) padded
// with zeros to one. A disc that loads is served by the virtual drive, and its blocks 16 and 17
// go through the volume descriptor decoders.
#include "FuzzSupport.h"

#include "disc/Decoders.h"
#include "emulator/ImageLoader.h"

#include <locale>

namespace {

void Load(const std::string& path)
{
    using namespace tolvane;
    const emulator::LoadResult result = emulator::LoadIso(path);
    TOLVANE_FUZZ_CHECK(result.disc != nullptr || !result.error.empty());
    if (!result.disc)
        return;
    fuzz::CheckLoadedDisc(result.disc);
    emulator::EmulatedDrive drive;
    drive.Insert(result.disc);
    std::vector<std::uint8_t> block;
    fuzz::ExecuteChecked(drive, std::vector<std::uint8_t>(12, 0), block); // takes the unit attention
    for (const std::uint8_t lba : {16, 17}) {
        const std::vector<std::uint8_t> cdb{0x28, 0, 0, 0, 0, lba, 0, 0, 1, 0, 0, 0};
        block.assign(decode::SectorSize, 0);
        if (!fuzz::ExecuteChecked(drive, cdb, block).Good())
            continue;
        (void)decode::IsJoliet(block);
        (void)decode::VolumeSerialOfDescriptor(block);
        if (const auto vd = decode::DecodePrimaryVolumeDescriptor(block))
            (void)decode::FormatIsoDate(vd->creation, std::locale::classic());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    static const std::string image = tolvane::fuzz::ScratchFolder() + "/x.iso";
    fuzz::WriteFile(image, ConstBytes(data, size));
    Load(image);
    if (size % decode::SectorSize != 0) {
        std::vector<std::uint8_t> padded(data, data + size);
        padded.resize((size / decode::SectorSize + 1) * decode::SectorSize, 0);
        fuzz::WriteFile(image, padded);
        Load(image);
    }
    return 0;
}
