// The virtual drive serving READ CD: audio from silence and from the demo CD's
// generated music, and Mode 1 sectors completed with their EDC and ECC; one
// sector per command and extraction's 27.
#include "BenchSupport.h"

#include "emulator/DemoDiscs.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace tolvane::bench {
namespace {

// Reads `count` blocks per command through the disc's first track, from its
// start again once it is done, so each command costs what a rip's does.
void ServeReadCd(benchmark::State& state, std::shared_ptr<const emulator::Disc> disc, std::uint8_t byte9)
{
    const auto count = static_cast<std::int32_t>(state.range(0));
    const emulator::Track& track = disc->tracks.front();
    const std::int32_t first = track.start;
    const std::int32_t last = track.end - count; // the last start that still fits
    auto drive = ReadyDrive(std::move(disc));
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * RawSectorSize);
    std::int32_t lba = first;
    for (auto _ : state) {
        const Cdb cdb = ReadCdCommand(lba, static_cast<std::uint32_t>(count), byte9);
        const ScsiResult result = drive->Execute(cdb, buffer);
        if (!result.Good()) {
            state.SkipWithError("READ CD failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
        lba = lba + count > last ? first : lba + count;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * count * RawSectorSize);
}

void BM_ReadCdAudioZeros(benchmark::State& state)
{
    ServeReadCd(state, AudioDisc({DiscSectors}, std::make_shared<emulator::ZeroSource>()), 0x10);
}
BENCHMARK(BM_ReadCdAudioZeros)->Arg(1)->Arg(27);

void BM_ReadCdAudioDemo(benchmark::State& state)
{
    ServeReadCd(state, emulator::MakeDemoCd(), 0x10);
}
BENCHMARK(BM_ReadCdAudioDemo)->Arg(1)->Arg(27);

void BM_ReadCdMode1Raw(benchmark::State& state)
{
    ServeReadCd(state, Mode1Disc(DiscSectors), 0xF8); // sync, header, user data, EDC/ECC
}
BENCHMARK(BM_ReadCdMode1Raw)->Arg(1)->Arg(27);

} // namespace
} // namespace tolvane::bench
