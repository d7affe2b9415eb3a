#include "rip/RipLog.h"

#include <cstdio>

namespace tolvane::rip {
namespace {

std::string Hex(std::uint32_t v)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

void Line(std::string& out, const char* name, const std::string& value)
{
    char head[48];
    std::snprintf(head, sizeof head, "%-37s", (std::string(name) + ":").c_str());
    out += head + value + "\n";
}

} // namespace

std::string Duration(std::int32_t blocks)
{
    const std::int32_t b = blocks < 0 ? 0 : blocks;
    char text[40];
    std::snprintf(text, sizeof text, "%02d:%02d.%02d", b / (75 * 60), b / 75 % 60, b % 75);
    return text;
}

std::string LogText(const RipLog& log)
{
    std::string out = log.program + " rip log\n\n";
    Line(out, "Drive", log.drive);
    Line(out, "Read mode", log.readMode);
    std::string offset = log.offset > 0 ? "+" : "";
    offset += std::to_string(log.offset);
    Line(out, "Read offset correction",
         log.offsetSource.empty() ? offset : offset + " (" + log.offsetSource + ")");
    Line(out, "Overread into lead-in and lead-out", log.overread ? "Yes" : "No");
    if (!log.cache.empty()) {
        Line(out, "Drive cache", log.cache);
    }
    if (!log.gaps.empty()) {
        Line(out, "Gaps", log.gaps);
    }
    if (log.silentSamples > 0) {
        Line(out, "Samples outside the disc", std::to_string(log.silentSamples) + ", given as silence");
    }
    Line(out, "AccurateRip ID", log.accurateRipId);
    Line(out, "MusicBrainz disc ID", log.musicBrainzId);
    Line(out, "CTDB TOC ID", log.ctdbTocId);
    for (const TrackLog& t : log.tracks) {
        char head[32];
        std::snprintf(head, sizeof head, "\nTrack %2d\n", t.number);
        out += head;
        Line(out, "  File", t.file);
        Line(out, "  Range",
             "blocks " + std::to_string(t.lba) + "-" + std::to_string(t.lba + t.sectors - 1) + " (" +
                 Duration(t.sectors) + ")");
        if (!t.copied) {
            Line(out, "  Copy", "not finished");
            continue;
        }
        char peak[32];
        std::snprintf(peak, sizeof peak, "%.1f %%", t.peak * 100.0 / 32768.0);
        if (t.pregap >= 0) {
            Line(out, "  Pregap", Duration(t.pregap));
        }
        if (t.preEmphasis) {
            Line(out, "  Pre-emphasis", "Yes");
        }
        Line(out, "  Peak level", peak);
        if (t.tested) {
            Line(out, "  Test CRC",
                 Hex(t.testCrc) + (t.testCrc == t.crc32 ? "" : " (differs from the copy)"));
        }
        Line(out, "  Copy CRC", Hex(t.crc32));
        Line(out, "  Copy CRC without null samples", Hex(t.withoutNulls));
        Line(out, "  AccurateRip v1, v2", Hex(t.accurateRipV1) + ", " + Hex(t.accurateRipV2));
        Line(out, "  AccurateRip", t.accurateRip.empty() ? "not checked" : t.accurateRip);
        Line(out, "  CTDB", t.ctdb.empty() ? "not checked" : t.ctdb);
        Line(out, "  Sectors read again", std::to_string(t.rereadSectors));
        std::string suspicious;
        for (const std::int32_t lba : t.suspicious) {
            if (!suspicious.empty()) {
                suspicious += ", ";
            }
            suspicious += std::to_string(lba) + " (" + Duration(lba - t.lba) + ")";
        }
        Line(out, "  Suspicious positions", suspicious.empty() ? "none" : suspicious);
    }
    out += "\n";
    Line(out, "AccurateRip", log.accurateRipSummary.empty() ? "not checked" : log.accurateRipSummary);
    Line(out, "CTDB", log.ctdbSummary.empty() ? "not checked" : log.ctdbSummary);
    std::size_t suspicious = 0;
    std::size_t differing = 0;
    bool complete = !log.tracks.empty();
    for (const TrackLog& t : log.tracks) {
        suspicious += t.suspicious.size();
        differing += t.copied && t.tested && t.testCrc != t.crc32 ? 1 : 0;
        complete = complete && t.copied;
    }
    Line(out, "Status",
         log.cancelled ? "cancelled"
         : !complete   ? "some tracks were not copied"
         : suspicious  ? std::to_string(suspicious) + " suspicious positions"
         : differing   ? "test and copy CRCs differ on " + std::to_string(differing) + " of " +
                           std::to_string(log.tracks.size()) + " tracks"
                     : "no errors");
    return out;
}

} // namespace tolvane::rip
