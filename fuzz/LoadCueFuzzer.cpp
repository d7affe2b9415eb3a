// Cue sheets. The sheet is written into this process's scratch folder beside small data.bin,
// data.wav and data.cdt files that its FILE and CDTEXTFILE lines may name. The first byte is not
// part of the sheet: its low bit asks for missing files to be synthesized. A disc that loads
// must be one the virtual drive can serve.
#include "FuzzSupport.h"

#include "emulator/ImageLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    static const std::string sheet = [] {
        tolvane::fuzz::WriteSheetCompanions(tolvane::fuzz::ScratchFolder());
        return tolvane::fuzz::ScratchFolder() + "/x.cue";
    }();
    if (size == 0)
        return 0;
    fuzz::WriteFile(sheet, ConstBytes(data + 1, size - 1));
    emulator::LoadOptions options;
    options.synthesizeMissingData = (data[0] & 1) != 0;
    const emulator::LoadResult result = emulator::LoadCue(sheet, options);
    TOLVANE_FUZZ_CHECK(result.disc != nullptr || !result.error.empty());
    if (result.disc)
        fuzz::CheckLoadedDisc(result.disc);
    return 0;
}
