// The audio of a FLAC file of CD audio (2 channels, 16 bits, 44,100 Hz) as the little-endian
// interleaved bytes a WAV file's data chunk holds: for verifying a rip, and for playing a rip's
// cue sheet in the virtual drive. Decoded by libFLAC's stream decoder, a frame at a time, so a
// long track never sits in memory whole.
//
// Failures are values: every step returns false and Error() says why in plain words.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tolvane::rip {

class FlacReader {
public:
    FlacReader();
    ~FlacReader();
    FlacReader(const FlacReader&) = delete;
    FlacReader& operator=(const FlacReader&) = delete;

    // Opens the file and reads its metadata. False when it cannot be read, is no FLAC file,
    // holds audio other than CD audio, or does not say how long it is.
    bool Open(const std::string& path);
    // The audio's length as WAV data bytes (4 per sample frame).
    std::uint64_t DataBytes() const { return frames_ * 4; }

    // Every byte of the audio from the start, in pieces, in order, then the MD5 signature the
    // encoder stored is checked. False when the stream is damaged or ends early. The reader is
    // closed afterwards.
    bool Read(const std::function<void(std::span<const std::uint8_t>)>& sink);
    // out.size() bytes of audio from sample frame `frame` on (a whole number of frames).
    bool ReadAt(std::uint64_t frame, std::span<std::uint8_t> out);

    const std::string& Error() const { return error_; }

    struct Decoder; // libFLAC's decoder and the frame it decoded last, kept out of this header

private:
    bool Fail(std::string message);
    void Close();

    Decoder* decoder_ = nullptr;
    std::uint64_t frames_ = 0;
    std::string path_;
    std::string error_;
};

} // namespace tolvane::rip
