// Extract of one long track from the virtual drive into a WAV file: the whole
// path of a rip (disc object, transport, platform, drive, source, writer).
#include "BenchSupport.h"

#include "disc/Checksums.h"
#include "emulator/ImageLoader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tolvane::bench {
namespace {

constexpr std::int32_t TrackMinutes = 20;
constexpr std::int32_t TrackSectors = TrackMinutes * 60 * 75;

// With `sums`, as tolvane-cli rips: AccurateRip v1/v2, CRC32, W/O NULL and the CUETools database's
// CRC summed as each sector reaches the file.
void ExtractTrack(benchmark::State& state, std::shared_ptr<const emulator::Disc> image, bool sums = false)
{
    Rig rig(std::move(image));
    if (!rig.error.empty() || !rig.disc->Read()) {
        state.SkipWithError(("cannot read the disc: " + rig.error + rig.disc->ErrorMessage()).c_str());
        return;
    }
    const std::string wav = TempPath("extract.wav");
    std::uint32_t seen = 0;
    for (auto _ : state) {
        const std::uint64_t samples = std::uint64_t{TrackSectors} * sums::SamplesPerSector;
        sums::TrackChecksums checksums(samples, true, true, samples);
        if (sums) {
            rig.disc->SetAudioHandler([&](ConstBytes sector) { checksums.Add(sector); });
        }
        if (!rig.disc->Extract(1, wav)) {
            state.SkipWithError(("Extract failed: " + rig.disc->ErrorMessage()).c_str());
            break;
        }
        const auto result = checksums.Result();
        seen ^= result.v1 ^ result.v2 ^ result.crc32 ^ result.withoutNulls ^ result.ctdb;
        state.PauseTiming();
        std::remove(wav.c_str());
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(seen);
    std::remove(wav.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * TrackSectors * RawSectorSize);
}

void BM_ExtractZeroSource(benchmark::State& state)
{
    ExtractTrack(state, AudioDisc({TrackSectors}, std::make_shared<emulator::ZeroSource>()));
}
BENCHMARK(BM_ExtractZeroSource)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same rip with its checksums: the difference is what they cost (the goal: under 5 %).
void BM_ExtractZeroSourceWithChecksums(benchmark::State& state)
{
    ExtractTrack(state, AudioDisc({TrackSectors}, std::make_shared<emulator::ZeroSource>()), true);
}
BENCHMARK(BM_ExtractZeroSourceWithChecksums)->Unit(benchmark::kMillisecond)->Iterations(3);

// The checksums alone over a track of noise, in sectors as a rip feeds them.
void BM_ChecksumsPerTrack(benchmark::State& state)
{
    std::vector<std::uint8_t> track(std::size_t{TrackSectors} * RawSectorSize / 20);
    std::uint32_t x = 1;
    for (auto& b : track) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    for (auto _ : state) {
        sums::TrackChecksums checksums(track.size() / 4, true, true, track.size() / 4);
        for (std::size_t at = 0; at < track.size(); at += RawSectorSize) {
            checksums.Add(ConstBytes(track.data() + at, RawSectorSize));
        }
        const auto r = checksums.Result();
        benchmark::DoNotOptimize(r.v1 ^ r.v2 ^ r.crc32 ^ r.withoutNulls ^ r.ctdb);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * track.size()));
}
BENCHMARK(BM_ChecksumsPerTrack)->Unit(benchmark::kMillisecond);

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
