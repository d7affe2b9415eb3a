#include "rip/output/CueSheet.h"

#include "util/Msf.h"

#include <algorithm>
#include <cstdio>

namespace tolvane::rip {

namespace {

// mm:ss:ff of a count of blocks; minutes may pass 99 on an overlong image.
std::string Time(std::int32_t blocks)
{
    const Msf msf = Msf::FromFrames(std::max(blocks, 0));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(msf.minute),
                  static_cast<int>(msf.second), static_cast<int>(msf.frame));
    return text;
}

std::string TwoDigits(int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

// Cue readers end a quoted text at the next double quote and take a line break as the end of the
// statement, and none of them knows an escape.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '\'';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            out += ' ';
        else
            out += c;
    }
    return out + "\"";
}

class Writer {
public:
    explicit Writer(const CueDisc& disc) : disc_(disc) {}

    std::string Text(CueLayout layout)
    {
        if (!disc_.cddb.empty())
            Line(0, "REM DISCID " + disc_.cddb);
        if (!disc_.comment.empty())
            Line(0, "REM COMMENT " + Quoted(disc_.comment));
        if (!disc_.mcn.empty())
            Line(0, "CATALOG " + disc_.mcn);
        if (!disc_.performer.empty())
            Line(0, "PERFORMER " + Quoted(disc_.performer));
        if (!disc_.title.empty())
            Line(0, "TITLE " + Quoted(disc_.title));
        if (layout == CueLayout::Image)
            Image();
        else
            FilePerTrack();
        return std::move(text_);
    }

private:
    void Line(int indent, const std::string& statement)
    {
        text_.append(static_cast<std::size_t>(indent), ' ');
        text_ += statement;
        text_ += '\n';
    }

    void File(const std::string& name, const std::string& type)
    {
        Line(0, "FILE " + Quoted(name) + " " + type);
    }

    void Index(int number, std::int32_t position)
    {
        Line(4, "INDEX " + TwoDigits(number) + " " + Time(position));
    }

    void TrackHeader(const CueTrack& track)
    {
        Line(2, "TRACK " + TwoDigits(track.number) + " AUDIO");
        if (!track.title.empty())
            Line(4, "TITLE " + Quoted(track.title));
        if (!track.performer.empty())
            Line(4, "PERFORMER " + Quoted(track.performer));
        std::string flags;
        if (track.control & 0x2)
            flags += " DCP";
        if (track.control & 0x8)
            flags += " 4CH";
        if (track.control & 0x1)
            flags += " PRE";
        if (!flags.empty())
            Line(4, "FLAGS" + flags);
        if (!track.isrc.empty())
            Line(4, "ISRC " + track.isrc);
    }

    // INDEX 02 and on, relative to where the track's file (or the image) begins.
    void MoreIndexes(const CueTrack& track, std::int32_t fileStart)
    {
        int number = 2;
        for (const std::int32_t index : track.indexes)
            Index(number++, index - fileStart);
    }

    void Image()
    {
        File(disc_.imageFile, disc_.imageType);
        if (disc_.tracks.empty())
            return;
        const std::int32_t imageStart = disc_.tracks.front().start - disc_.tracks.front().pregap;
        for (const CueTrack& track : disc_.tracks) {
            TrackHeader(track);
            if (track.pregap > 0)
                Index(0, track.start - track.pregap - imageStart);
            Index(1, track.start - imageStart);
            MoreIndexes(track, imageStart);
        }
    }

    void FilePerTrack()
    {
        for (std::size_t i = 0; i < disc_.tracks.size(); ++i) {
            const CueTrack& track = disc_.tracks[i];
            if (i == 0) {
                if (track.pregap > 0 && !disc_.pregapFile.empty()) {
                    File(disc_.pregapFile, "WAVE");
                    TrackHeader(track);
                    Index(0, 0);
                    File(track.file, "WAVE");
                } else {
                    File(track.file, "WAVE");
                    TrackHeader(track);
                    if (track.pregap > 0)
                        Line(4, "PREGAP " + Time(track.pregap));
                }
            } else if (track.pregap > 0) {
                // The pregap closes the previous track's file.
                TrackHeader(track);
                Index(0, disc_.tracks[i - 1].length - track.pregap);
                File(track.file, "WAVE");
            } else {
                File(track.file, "WAVE");
                TrackHeader(track);
            }
            Index(1, 0);
            MoreIndexes(track, track.start);
        }
    }

    const CueDisc& disc_;
    std::string text_;
};

} // namespace

std::string CueSheetText(const CueDisc& disc, CueLayout layout)
{
    return Writer(disc).Text(layout);
}

} // namespace tolvane::rip
