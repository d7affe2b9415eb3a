// A whole-disc rip on a modelled real drive: the virtual clock charges each
// command a fixed cost and each sector a transfer cost (1.35 ms and 0.95 ms, a
// fit of public debug logs of real drives). Tolvane's rip (Extract of every
// audio track: 27-sector bursts) is set against the same sectors read one per
// READ CD, and against pure streaming, the sectors' cost alone.
//
//   tolvane-rip-model [IMAGE]   the image's disc (cue, toc or iso); without one,
//                               the rip benchmark's 74-minute layout, in silence
// The last line is the verdict: PASS or FAIL with the figure.
#include "BenchSupport.h"

#include "emulator/ImageLoader.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace tolvane::bench {
namespace {

using Millis = std::chrono::duration<double, std::milli>;

constexpr auto PerCommand = std::chrono::microseconds(1350);
constexpr auto PerSector = std::chrono::microseconds(950);
// Tolvane's rip may take at most this much longer than streaming.
constexpr double Goal = 1.10;

struct Tally {
    std::uint64_t commands = 0;
    std::uint64_t sectors = 0;
    double seconds = 0;
};

Tally Take(emulator::EmulatedDrive& drive)
{
    Tally t{drive.CommandCount(), drive.SectorCount(),
            std::chrono::duration<double>(drive.ModelledTime()).count()};
    drive.ResetStatistics();
    return t;
}

void Print(const char* what, const Tally& t)
{
    std::printf("  %-34s %8llu commands %8llu sectors %9.2f s\n", what, static_cast<unsigned long long>(t.commands),
                static_cast<unsigned long long>(t.sectors), t.seconds);
}

int Run(const std::string& image)
{
    std::shared_ptr<const emulator::Disc> disc;
    if (image.empty()) {
        disc = AudioDisc(TrackLengths(), std::make_shared<emulator::ZeroSource>());
    } else {
        const emulator::LoadResult loaded = emulator::LoadImage(image);
        if (!loaded) {
            std::fprintf(stderr, "%s\n", loaded.error.c_str());
            return 2;
        }
        disc = loaded.disc;
    }
    Rig rig(disc);
    if (!rig.error.empty()) {
        std::fprintf(stderr, "%s\n", rig.error.c_str());
        return 2;
    }
    rig.drive->SetTiming(emulator::TimingModel{PerCommand, PerSector});
    OpticalDisk& od = *rig.disc;
    if (!od.Read()) {
        std::fprintf(stderr, "cannot read the disc: %s\n", od.ErrorMessage().c_str());
        return 2;
    }
    const Tally read = Take(*rig.drive);

    std::vector<std::int16_t> audio;
    for (std::int16_t n = od.FirstTrack(); n >= 1 && n <= od.Count(); ++n) {
        if (od.Track(n) && od.Track(n)->Mode() == "Audio") {
            audio.push_back(n);
        }
    }
    for (const std::int16_t n : audio) {
        // The drive's time is what is modelled; the files would only cost disk space.
        if (!od.Extract(static_cast<std::uint8_t>(n), "/dev/null")) {
            std::fprintf(stderr, "track %d: %s\n", n, od.ErrorMessage().c_str());
            return 2;
        }
    }
    const Tally bursts = Take(*rig.drive);

    // The same sectors through the transport's single-block READ CD.
    std::vector<std::uint8_t> sector(RawSectorSize);
    for (const std::int16_t n : audio) {
        const auto track = od.Track(n);
        for (std::int32_t k = 0; k < track->LogicalBlocks(); ++k) {
            if (!od.Transport().ReadCD(track->LBA() + k, static_cast<std::int16_t>(RawSectorSize), sector.data())) {
                std::fprintf(stderr, "track %d, block %d: READ CD failed\n", n, track->LBA() + k);
                return 2;
            }
        }
    }
    const Tally single = Take(*rig.drive);

    const double streaming = static_cast<double>(bursts.sectors) * Millis(PerSector).count() / 1000;
    const auto formula = [](const Tally& t) {
        return (static_cast<double>(t.commands) * Millis(PerCommand).count() +
                static_cast<double>(t.sectors) * Millis(PerSector).count()) / 1000;
    };
    std::printf("Modelled real drive: %.2f ms per command + %.2f ms per sector\n", Millis(PerCommand).count(),
                Millis(PerSector).count());
    std::printf("  disc: %s, %zu audio tracks\n", image.empty() ? "74-minute layout (silence)" : image.c_str(),
                audio.size());
    Print("reading the disc (Read)", read);
    Print("Tolvane's rip (27-sector bursts)", bursts);
    Print("one sector per command", single);
    std::printf("  %-34s %35.2f s\n", "streaming (sectors x 0.95 ms)", streaming);
    std::printf("  check: commands x 1.35 ms + sectors x 0.95 ms = %.2f s and %.2f s\n", formula(bursts),
                formula(single));
    const double ratio = bursts.seconds / streaming;
    std::printf("  Tolvane / streaming %.3f, one per command / streaming %.3f, Tolvane / one per command %.3f\n",
                ratio, single.seconds / streaming, bursts.seconds / single.seconds);
    std::printf("%s modelled rip %.3f x streaming time (%.1f s for %.1f s; goal <= %.2f)\n",
                ratio <= Goal ? "PASS" : "FAIL", ratio, bursts.seconds, streaming, Goal);
    return ratio <= Goal ? 0 : 1;
}

} // namespace
} // namespace tolvane::bench

int main(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: %s [IMAGE]\n", argv[0]);
        return 2;
    }
    return tolvane::bench::Run(argc == 2 ? argv[1] : "");
}
