// READ TOC answers: the track list (in both address forms), the session information, the
// full TOC's lead-outs, and the disc ids computed from a track list.
#include "FuzzSupport.h"

#include "disc/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    const ConstBytes response(data, size);
    if (const auto toc = decode::DecodeToc(response)) {
        TOLVANE_FUZZ_CHECK(toc->answered <= toc->descriptors.size() && toc->descriptors.size() <= size / 8);
        (void)decode::CddbId(*toc);
        if (const auto view = decode::CdfsViewOfToc(*toc)) {
            (void)decode::VolumeSerialOfAudioToc(view->toc);
        }
    }
    (void)decode::DecodeSessionInfo(response);
    const auto leadOuts = decode::DecodeSessionLeadOuts(response);
    TOLVANE_FUZZ_CHECK(leadOuts.size() <= size / 11);
    for (const auto& s : leadOuts)
        TOLVANE_FUZZ_CHECK(s.leadOut >= 0);
    return 0;
}
