// The WAV writer taking a whole 74-minute disc's sectors, one sector per call
// as extraction hands them over.
#include "BenchSupport.h"

#include "disc/WavWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace tolvane::bench {
namespace {

void BM_WavWriter74Minutes(benchmark::State& state)
{
    const std::string path = TempPath("writer.wav");
    std::vector<std::uint8_t> sector(RawSectorSize);
    for (std::size_t i = 0; i < sector.size(); ++i) {
        sector[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    for (auto _ : state) {
        WavWriter wav;
        bool ok = wav.Open(path) && wav.StartRiff() && wav.StartFormat() &&
                  wav.StartData(std::uint32_t{DiscSectors} * RawSectorSize);
        for (std::int32_t s = 0; s < DiscSectors && ok; ++s) {
            ok = wav.Write(sector);
        }
        ok = wav.Complete() && ok;
        if (!ok) {
            state.SkipWithError("writing the WAV file failed");
            break;
        }
        state.PauseTiming();
        std::remove(path.c_str()); // not timed: freeing the pages of the last file
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * DiscSectors * RawSectorSize);
}
BENCHMARK(BM_WavWriter74Minutes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace tolvane::bench
