// A FLAC file of CD audio (2 channels, 44,100 Hz, 16 bits) through libFLAC, fed the same
// little-endian interleaved bytes a WAV file's data chunk holds, in pieces of any size. The file
// carries Vorbis comments, a seek table and padding, so tags can be edited later in place.
//
// Failures are values: every step returns false and Error() says why in plain words.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tolvane::rip {

// The Vorbis comments of one track; empty texts and zero numbers are left out.
struct FlacTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string albumArtist;
    int trackNumber = 0;
    int trackTotal = 0;
    std::string discId; // the CDDB id, 8 hex digits
    std::string isrc;
    std::string musicBrainzDiscId;
};

class FlacWriter {
public:
    static constexpr int DefaultCompression = 5;
    static constexpr std::uint32_t SampleRate = 44100;
    // A seek point every ten seconds, as the flac tool places them.
    static constexpr std::uint32_t SeekSpacing = 10 * SampleRate;

    FlacWriter();
    ~FlacWriter(); // Abandon()
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;

    // Creates (or replaces) the file and writes its metadata. `expectedBytes` is the length of the
    // audio to come (a rip knows its track's length): the seek points are placed over it, and
    // without it the file has no seek table. `compression` is flac's level, 0 to 8.
    bool Open(const std::string& path, const FlacTags& tags, std::uint64_t expectedBytes,
              int compression = DefaultCompression);
    // Encodes sample bytes; a sample split between two pieces is joined.
    bool Write(std::span<const std::uint8_t> pcm);
    // Encodes what is left, completes the stream information (length, MD5) and the seek table,
    // and closes the file.
    bool Finish();
    // Closes without completing; the file is not a valid FLAC file afterwards.
    void Abandon();

    bool IsOpen() const { return encoder_ != nullptr; }
    const std::string& Error() const { return error_; }
    // Samples per channel handed over so far.
    std::uint64_t Samples() const { return samples_; }

    struct Encoder; // libFLAC's encoder and the file it writes, kept out of this header

private:
    bool Fail(std::string message);
    bool Encode(std::span<const std::uint8_t> frames);
    void FreeMetadata();

    Encoder* encoder_ = nullptr;
    std::string error_;
    // The bytes of a sample frame (4 bytes) that a piece ended inside.
    std::uint8_t partial_[4] = {};
    std::size_t partialBytes_ = 0;
    std::uint64_t samples_ = 0;
};

} // namespace tolvane::rip
