#include "rip/Gaps.h"

#include "rip/Blocks.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace tolvane::rip {
namespace {

// The pregap most discs have, tried before searching.
constexpr std::int32_t UsualPregap = 150;

// Track and index as one number that grows through the disc; the lead-out comes last.
int Key(std::uint8_t track, std::uint8_t index)
{
    return (track == LeadOutTrack ? 100 : track) * 100 + index;
}

bool AllZero(const std::string& code)
{
    return std::ranges::all_of(code, [](char c) { return c == '0'; });
}

} // namespace

GapFinder::GapFinder(MMC& mmc) : mmc_(mmc)
{
}

// Reads the Q of `count` blocks into `q`, 16 bytes each. A drive that refuses READ CD with Q alone
// is asked again with the audio before it; one that refuses both does not give the Q sub-channel.
bool GapFinder::Read(std::int32_t lba, std::int32_t count, std::vector<std::uint8_t>& q)
{
    q.assign(static_cast<std::size_t>(count) * MMC::QSize, 0);
    while (mode_ != Mode::Refused) {
        const bool main = mode_ == Mode::WithMain || mode_ == Mode::TryMain;
        const std::size_t stride = (main ? BlockSize : 0) + MMC::QSize;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * stride);
        gaps_->commands += 1;
        if (mmc_.ReadCDSubQ(lba, count, main, static_cast<std::int32_t>(buffer.size()), buffer.data())) {
            mode_ = main ? Mode::WithMain : Mode::QOnly;
            gaps_->withMainChannel = main;
            gaps_->blocks += static_cast<std::uint32_t>(count);
            for (std::int32_t i = 0; i < count; ++i) {
                const auto from =
                    buffer.begin() + static_cast<std::ptrdiff_t>(i * stride + (main ? BlockSize : 0));
                std::copy_n(from, MMC::QSize, q.begin() + i * MMC::QSize);
            }
            return true;
        }
        // INVALID COMMAND OPERATION CODE or INVALID FIELD IN CDB: the request, not the block.
        const ScsiResult& r = mmc_.LastResult();
        const bool refused =
            r.SenseKey() == scsi::SenseIllegalRequest && (r.Asc() == 0x20 || r.Asc() == 0x24);
        if (!refused || mode_ == Mode::QOnly || mode_ == Mode::WithMain) {
            return false; // this block could not be read
        }
        mode_ = mode_ == Mode::Unknown ? Mode::TryMain : Mode::Refused;
    }
    error_ = "the drive does not give the Q sub-channel";
    return false;
}

void GapFinder::Note(const QFrame& frame)
{
    if (frame.adr == 1 && frame.lba >= 0) {
        known_[frame.lba] = Position{frame.track, frame.index, frame.control};
    } else if (frame.adr == 2 && gaps_->mcn.empty() && !AllZero(frame.code)) {
        gaps_->mcn = frame.code;
    }
}

// A block strictly between lo and hi whose position is known, reading `near` first and then its
// neighbours: the address of the position frame found, or nothing.
std::optional<std::int32_t> GapFinder::Probe(std::int32_t near, std::int32_t lo, std::int32_t hi)
{
    for (std::int32_t d = 0; d <= 2 * MaxStray; ++d) {
        const std::int32_t x = near + (d % 2 == 1 ? (d + 1) / 2 : -(d / 2)); // near, +1, -1, +2 ...
        if (x <= lo || x >= hi) {
            continue;
        }
        if (known_.contains(x)) {
            return x;
        }
        // Asked for the block the drive's lag turns into x.
        const std::int32_t ask = x - lag_;
        if (ask < 0 || !tried_.insert(ask).second) {
            continue;
        }
        std::vector<std::uint8_t> q;
        if (!Read(ask, 1, q)) {
            if (mode_ == Mode::Refused) {
                return std::nullopt;
            }
            gaps_->unreadable += 1;
            continue;
        }
        const auto frame = DecodeQ(q);
        if (!frame) {
            gaps_->unreadable += 1;
            continue;
        }
        Note(*frame);
        // The frame's own address counts: some drives give a neighbour's Q, a block or two off.
        if (frame->adr == 1 && std::abs(frame->lba - ask) <= MaxStray) {
            lag_ = frame->lba - ask;
        }
        if (frame->adr == 1 && frame->lba > lo && frame->lba < hi) {
            return frame->lba;
        }
    }
    return std::nullopt;
}

// The first block whose track and index reach `target`, given that lo is before it and hi (whose
// key is known to reach it) is not: the hints are tried as the next probes, then halving.
GapFinder::Boundary GapFinder::FirstAtLeast(std::int32_t lo, std::int32_t hi, int target,
                                            std::vector<std::int32_t> hints)
{
    for (auto it = known_.upper_bound(lo); it != known_.end() && it->first < hi; ++it) {
        if (Key(it->second.track, it->second.index) >= target) {
            hi = it->first;
            break;
        }
        lo = it->first;
    }
    std::size_t next = 0;
    while (hi - lo > 1) {
        while (next < hints.size() && (hints[next] <= lo || hints[next] >= hi)) {
            ++next;
        }
        const bool hinted = next < hints.size();
        const std::int32_t at = hinted ? hints[next++] : lo + (hi - lo) / 2;
        const auto found = Probe(at, lo, hi);
        if (!found) {
            if (hinted && mode_ != Mode::Refused) {
                continue;
            }
            return {hi, false};
        }
        const Position& p = known_[*found];
        (Key(p.track, p.index) >= target ? hi : lo) = *found;
    }
    return {hi, true};
}

// The ISRC and the pre-emphasis from the first blocks after INDEX 01, which are surely the
// track's own; a second run when unreadable frames may have hidden the ISRC.
void GapFinder::ScanCodes(TrackGaps& track, std::int32_t end)
{
    std::array<int, 2> emphasis{};
    bool sawIsrc = false;
    bool sawBad = false;
    std::vector<std::uint8_t> q;
    const auto scan = [&](std::int32_t from, std::int32_t count) {
        if (count <= 0) {
            return;
        }
        if (!Read(from, count, q)) {
            gaps_->unreadable += static_cast<std::uint32_t>(count);
            sawBad = true;
            return;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const auto frame =
                DecodeQ(ConstBytes(q).subspan(static_cast<std::size_t>(i) * MMC::QSize, MMC::QSize));
            if (!frame) {
                gaps_->unreadable += 1;
                sawBad = true;
                continue;
            }
            Note(*frame);
            if (frame->adr == 1 && frame->track == track.number && frame->index >= 1) {
                emphasis[frame->control & 0x1] += 1;
            } else if (frame->adr == 3) {
                sawIsrc = true;
                if (track.isrc.empty() && !AllZero(frame->code)) {
                    track.isrc = frame->code;
                }
            }
        }
    };
    const std::int32_t first = std::min(CodeRun, end - track.start);
    scan(track.start, first);
    if (!sawIsrc && sawBad && mode_ != Mode::Refused) {
        scan(track.start + first, std::min(CodeRun, end - track.start - first));
    }
    track.preEmphasis = emphasis[1] > emphasis[0];
}

// INDEX 02 and on: the last block of the track's body names the highest index; each one below
// it is searched for from the previous one.
void GapFinder::FindIndexes(TrackGaps& track, std::int32_t bodyEnd)
{
    const auto last = Probe(bodyEnd - 1, track.start, bodyEnd);
    if (!last) {
        track.certain = track.certain && bodyEnd - track.start < 2;
        return;
    }
    const Position top = known_[*last];
    if (top.track != track.number) {
        return;
    }
    std::int32_t lo = track.start;
    for (int k = 2; k <= top.index;) {
        const Boundary b = FirstAtLeast(lo, *last, Key(track.number, static_cast<std::uint8_t>(k)), {});
        const Position& p = known_[b.at];
        if (p.track != track.number || p.index < k) {
            track.certain = false;
            return;
        }
        track.indexes.emplace_back(p.index, b.at);
        track.certain = track.certain && b.certain;
        lo = b.at;
        k = p.index + 1;
    }
}

bool GapFinder::Find(const ids::TocLayout& toc, DiscGaps& gaps)
{
    gaps = DiscGaps{};
    gaps_ = &gaps;
    error_.clear();
    known_.clear();
    tried_.clear();
    lag_ = 0;
    mode_ = Mode::Unknown;
    const auto& t = toc.tracks;
    if (std::ranges::none_of(t, [](const ids::TocTrack& x) { return x.audio; })) {
        error_ = "the disc has no audio track";
        return false;
    }
    // Where each track's blocks end: the next track, or for the last audio track before a data
    // session that session's lead-out.
    const std::int32_t audioEnd = ids::AudioEnd(toc);
    const auto lastAudio = std::find_if(t.rbegin(), t.rend(), [](const ids::TocTrack& x) { return x.audio; });
    const auto lastAudioAt = static_cast<std::size_t>(t.rend() - lastAudio - 1);
    std::vector<std::int32_t> ends(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        ends[i] = i + 1 == t.size() ? toc.leadOut : t[i + 1].lba;
        if (i == lastAudioAt && audioEnd > t[i].lba && audioEnd < ends[i]) {
            ends[i] = audioEnd; // else the data track follows in the same session
        }
    }

    std::vector<std::size_t> order; // the audio tracks' places in `t`
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t[i].audio) {
            continue;
        }
        TrackGaps g;
        g.number = t[i].number;
        g.start = t[i].lba;
        g.pregapStart = t[i].lba;
        const int target = Key(g.number, 0);
        if (i == 0) {
            // Nothing comes before track 1 but its own pregap: every block before its INDEX 01.
            g.pregapStart = 0;
        } else {
            // After the previous track's INDEX 01, or (a session's first track) the least pregap.
            const bool follows = ends[i - 1] == g.start;
            const std::int32_t lo = follows ? t[i - 1].lba : g.start - UsualPregap - 1;
            const Boundary b = FirstAtLeast(lo, g.start, target,
                                            {g.start - 1, g.start - UsualPregap, g.start - UsualPregap - 1});
            g.pregapStart = b.at;
            g.certain = b.certain;
        }
        if (mode_ != Mode::Refused) {
            ScanCodes(g, ends[i]);
        }
        if (mode_ == Mode::Refused) {
            gaps.tracks.clear();
            return false;
        }
        gaps.tracks.push_back(g);
        order.push_back(i);
    }
    for (std::size_t k = 0; k < gaps.tracks.size(); ++k) {
        const std::size_t i = order[k];
        const bool nextFollows =
            k + 1 < gaps.tracks.size() && order[k + 1] == i + 1 && ends[i] == t[i + 1].lba;
        FindIndexes(gaps.tracks[k], nextFollows ? gaps.tracks[k + 1].pregapStart : ends[i]);
    }
    if (gaps.blocks == 0) {
        gaps.tracks.clear();
        error_ = "no block's Q sub-channel could be read";
        return false;
    }
    if (t.front().audio && t.front().lba > 0) {
        gaps.htoaEnd = t.front().lba;
    }
    return true;
}

Silence CheckSilence(MMC& mmc, std::int32_t first, std::int32_t count, int offset)
{
    Silence s;
    s.silent = true;
    const std::int64_t begin = std::int64_t{first} * SamplesPerBlock + offset;
    const std::int64_t end = begin + std::int64_t{std::max(count, 0)} * SamplesPerBlock;
    // The drive delivers the samples of block b at b * 588 + offset, so these blocks hold them;
    // those before block 0 are in the lead-in, which is silence.
    const auto from = static_cast<std::int32_t>(std::max<std::int64_t>(0, FloorDiv(begin, SamplesPerBlock)));
    const auto to = static_cast<std::int32_t>(FloorDiv(end + SamplesPerBlock - 1, SamplesPerBlock));
    const BurstRead read = ReadBursts(mmc, from, to, [&](std::int32_t lba, ConstBytes blocks) {
        for (std::size_t k = 0; k < blocks.size() / 4; ++k) {
            const std::int64_t sample = std::int64_t{lba} * SamplesPerBlock + static_cast<std::int64_t>(k);
            const std::uint8_t* p = blocks.data() + k * 4;
            if (sample >= begin && sample < end && (p[0] | p[1] | p[2] | p[3]) != 0) {
                s.silent = false;
                return false;
            }
        }
        return true;
    });
    s.commands = read.commands;
    s.ok = read.ok;
    if (!read.ok) {
        s.error = "the audio could not be read at block ";
        s.error += std::to_string(read.failedAt);
    }
    return s;
}

} // namespace tolvane::rip
