// Secure rips of a 74-minute disc on the modelled real drive (1.35 ms per command, 0.95 ms per
// sector read from the disc; the cache answers repeats at no disc time), set against the
// streaming time of one pass. The drive has a read offset of +6 samples and a 1,024-block cache.
//
//   1. a clean disc on a drive with C2 pointers: each sector should be read once;
//   2. the same disc with 200 damaged sectors in 5 clusters of different scratches: each one
//      recovered to the right bytes or reported, and no clean sector reported;
//   3. a clean disc on a drive without C2: every sector read twice, the cache defeated between;
//   4. the process's peak memory, which must not depend on the disc's length.
// Each ends in a PASS or FAIL line.
#include "BenchSupport.h"

#include "disc/DiscIds.h"
#include "rip/DriveCache.h"
#include "rip/Gaps.h"
#include "rip/SecureReader.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace tolvane::bench {
namespace {

constexpr auto PerCommand = std::chrono::microseconds(1350);
constexpr auto PerSector = std::chrono::microseconds(950);
constexpr int DriveOffset = 6;

struct Outcome {
    double seconds = 0;
    std::uint64_t wrongBlocks = 0;   // corrected blocks that differ from the disc
    std::set<std::int32_t> wrongSet; // their addresses
    std::set<std::int32_t> reported; // the drive's addresses the reader named
    std::uint64_t rereads = 0;
    bool ok = true;
    std::string cacheNote;
    bool gapsFound = false;
    double prepareSeconds = 0; // of the cache timing and the gap scan
};

// The disc's bytes as a correct rip gives them: the pattern, and silence for the samples the
// offset puts past the disc's end (the drive does not overread).
bool BlockIsRight(std::int32_t lba, ConstBytes block)
{
    const std::uint64_t silentFrom = std::uint64_t{DiscSectors} * RawSectorSize - DriveOffset * 4;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::uint64_t at = std::uint64_t(lba) * RawSectorSize + i;
        const std::uint8_t expected = at >= silentFrom ? 0 : emulator::AddressPatternSource::ByteAt(lba, i);
        if (block[i] != expected) {
            return false;
        }
    }
    return true;
}

Outcome SecureRip(bool c2, const std::vector<std::pair<std::int32_t, emulator::Damage>>& damage)
{
    Outcome out;
    Rig rig(AudioDisc(TrackLengths(), std::make_shared<emulator::AddressPatternSource>()));
    if (!rig.error.empty() || !rig.disc->Read()) {
        std::fprintf(stderr, "cannot read the disc: %s%s\n", rig.error.c_str(),
                     rig.disc->ErrorMessage().c_str());
        out.ok = false;
        return out;
    }
    emulator::ReadModel model;
    model.offset = DriveOffset;
    model.c2 = c2;
    model.cacheSectors = 1024;
    rig.drive->SetReadModel(model);
    std::uint64_t seed = 1;
    for (const auto& [first, kind] : damage) {
        rig.drive->DamageAt(first, 40, kind, seed++);
    }
    rig.drive->SetTiming(emulator::TimingModel{PerCommand, PerSector});
    rig.drive->ResetStatistics();

    // What tolvane-cli's secure rip does before copying: time the cache, scan the gaps.
    rip::Settings settings;
    settings.offset = DriveOffset;
    const rip::CacheSize cache = rip::MeasureCache(rig.disc->Transport(), *rig.clock, 0, DiscSectors);
    if (cache.blocks > 0) {
        settings.cacheSectors = cache.blocks;
    }
    out.cacheNote = cache.note;
    rip::GapFinder gaps(rig.disc->Transport());
    rip::DiscGaps found;
    out.gapsFound = gaps.Find(ids::LayoutOf(*rig.disc), found);
    out.prepareSeconds = std::chrono::duration<double>(rig.drive->ModelledTime()).count();
    rip::SecureReader reader(rig.disc->Transport(), DiscSectors, settings);
    std::int32_t lba = 0;
    for (const std::int32_t length : TrackLengths()) {
        rip::Report report;
        std::int32_t at = lba;
        const bool read = reader.Read(
            lba, length,
            [&](ConstBytes block) {
                if (!BlockIsRight(at, block)) {
                    ++out.wrongBlocks;
                    out.wrongSet.insert(at);
                }
                ++at;
                return true;
            },
            report);
        if (!read) {
            std::fprintf(stderr, "block %d: %s\n", at, reader.Error().c_str());
            out.ok = false;
            return out;
        }
        out.reported.insert(report.suspicious.begin(), report.suspicious.end());
        out.rereads += report.rereadSectors;
        lba += length;
    }
    out.seconds = std::chrono::duration<double>(rig.drive->ModelledTime()).count();
    return out;
}

const char* Verdict(bool pass)
{
    return pass ? "PASS" : "FAIL";
}

int Run()
{
    const double streaming = DiscSectors * std::chrono::duration<double>(PerSector).count();
    std::printf(
        "Secure rips on the modelled drive (offset +%d, 1,024-block cache), 74 minutes: streaming %.1f s\n",
        DriveOffset, streaming);
    bool all = true;

    const Outcome clean = SecureRip(true, {});
    const double cleanRatio = clean.seconds / streaming;
    const bool cleanPass = clean.ok && clean.wrongBlocks == 0 && clean.reported.empty() && cleanRatio <= 1.15;
    std::printf("  before copying: cache %s; gap scan %s; %.1f s\n", clean.cacheNote.c_str(),
                clean.gapsFound ? "done" : "failed", clean.prepareSeconds);
    std::printf("%s secure rip, clean disc with C2: %.3f x streaming (%.1f s; goal <= 1.15)\n",
                Verdict(cleanPass), cleanRatio, clean.seconds);
    all = all && cleanPass;

    // Five scratches of 40 sectors: wrong bytes that vary, the same wrong bytes every time, reads
    // that fail, a deep one seldom read right, and one never read right (which must be reported).
    emulator::Damage varying{0.5, false, true, false};
    emulator::Damage same{0.4, true, true, false};
    emulator::Damage failing{0.5, false, true, true};
    emulator::Damage deep{0.15, false, true, false};
    emulator::Damage lost{0.0, false, true, false};
    const std::vector<std::pair<std::int32_t, emulator::Damage>> scratches{
        {20000, varying}, {90000, same}, {160000, failing}, {230000, deep}, {300000, lost}};
    std::set<std::int32_t> damaged;
    for (const auto& s : scratches) {
        for (std::int32_t i = 0; i < 40; ++i) {
            damaged.insert(s.first + i);
        }
    }
    const Outcome scratched = SecureRip(true, scratches);
    // With the offset a corrected block takes bytes from the drive's blocks b and b + 1, and the
    // drive's block r bytes from the disc's blocks r - 1 and r.
    std::uint64_t wrongUnreported = 0;
    for (const std::int32_t b : scratched.wrongSet) {
        wrongUnreported += scratched.reported.count(b) + scratched.reported.count(b + 1) == 0 ? 1 : 0;
    }
    std::uint64_t cleanReported = 0;
    for (const std::int32_t r : scratched.reported) {
        cleanReported += damaged.count(r) + damaged.count(r - 1) == 0 ? 1 : 0;
    }
    const double scratchedRatio = scratched.seconds / streaming;
    const bool scratchedPass =
        scratched.ok && wrongUnreported == 0 && cleanReported == 0 && scratchedRatio <= 1.5;
    std::printf(
        "%s secure rip, 200 damaged sectors in 5 clusters with C2: %.3f x streaming (%.1f s; goal <= 1.50); "
        "%llu sectors read again, %zu reported, %llu wrong and unreported, %llu clean reported\n",
        Verdict(scratchedPass), scratchedRatio, scratched.seconds,
        static_cast<unsigned long long>(scratched.rereads), scratched.reported.size(),
        static_cast<unsigned long long>(wrongUnreported), static_cast<unsigned long long>(cleanReported));
    all = all && scratchedPass;

    const Outcome noC2 = SecureRip(false, {});
    const double noC2Ratio = noC2.seconds / streaming;
    const bool noC2Pass = noC2.ok && noC2.wrongBlocks == 0 && noC2.reported.empty() && noC2Ratio <= 2.1;
    std::printf("%s secure rip, clean disc without C2: %.3f x streaming (%.1f s; goal <= 2.10)\n",
                Verdict(noC2Pass), noC2Ratio, noC2.seconds);
    all = all && noC2Pass;

    // The reader holds a window of blocks, never a track: the peak stays the same for any length.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    const bool memoryPass = peakMb <= 64;
    std::printf("%s secure rip, peak memory of the whole process: %.1f MB (goal <= 64 MB)\n",
                Verdict(memoryPass), peakMb);
    all = all && memoryPass;
    return all ? 0 : 1;
}

} // namespace
} // namespace tolvane::bench

int main()
{
    return tolvane::bench::Run();
}
