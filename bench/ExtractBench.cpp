// Extract of one long track from the virtual drive into a WAV file: the whole
// path of a rip (disc object, transport, platform, drive, source, writer).
#include "BenchSupport.h"

#include "emulator/ImageLoader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tolvane::bench {
namespace {

constexpr std::int32_t TrackMinutes = 20;
constexpr std::int32_t TrackSectors = TrackMinutes * 60 * 75;

void ExtractTrack(benchmark::State& state, std::shared_ptr<const emulator::Disc> image)
{
    Rig rig(std::move(image));
    if (!rig.error.empty() || !rig.disc->Read()) {
        state.SkipWithError(("cannot read the disc: " + rig.error + rig.disc->ErrorMessage()).c_str());
        return;
    }
    const std::string wav = TempPath("extract.wav");
    for (auto _ : state) {
        if (!rig.disc->Extract(1, wav)) {
            state.SkipWithError(("Extract failed: " + rig.disc->ErrorMessage()).c_str());
            break;
        }
        state.PauseTiming();
        std::remove(wav.c_str());
        state.ResumeTiming();
    }
    std::remove(wav.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * TrackSectors * RawSectorSize);
}

void BM_ExtractZeroSource(benchmark::State& state)
{
    ExtractTrack(state, AudioDisc({TrackSectors}, std::make_shared<emulator::ZeroSource>()));
}
BENCHMARK(BM_ExtractZeroSource)->Unit(benchmark::kMillisecond)->Iterations(3);

// A cue sheet over a sparse bin file: the image is read with pread, as a real image is.
void BM_ExtractSparseCueBin(benchmark::State& state)
{
    const std::filesystem::path folder = TempPath("image");
    std::filesystem::create_directories(folder);
    const std::filesystem::path bin = folder / "long.bin";
    const std::filesystem::path cue = folder / "long.cue";
    std::ofstream(bin, std::ios::binary).close();
    std::filesystem::resize_file(bin, std::uintmax_t{TrackSectors} * RawSectorSize);
    std::ofstream(cue) << "FILE \"long.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const emulator::LoadResult loaded = emulator::LoadCue(cue.string());
    if (!loaded) {
        state.SkipWithError(("cannot load the cue sheet: " + loaded.error).c_str());
    } else {
        ExtractTrack(state, loaded.disc);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ExtractSparseCueBin)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace tolvane::bench
