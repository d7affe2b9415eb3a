// The file a track is copied into, WAV or FLAC, fed the track's sample bytes as they are read.
// Finish completes it as a valid file also when the copy stopped early, so a cancelled rip keeps
// a shorter file that plays.
#pragma once

#include "disc/WavWriter.h"
#include "rip/output/FlacWriter.h"
#include "util/ByteOrder.h"

#include <cstdint>
#include <string>

namespace tolvane::rip {

enum class AudioFormat { Wav, Flac };

// ".wav" or ".flac".
const char* ExtensionOf(AudioFormat format);

class TrackFile {
public:
    // `bytes`: the track's length, for the WAV header and the FLAC seek table.
    bool Open(const std::string& path, AudioFormat format, const FlacTags& tags, std::uint32_t bytes);
    bool Write(ConstBytes audio);
    bool Finish();
    const std::string& Error() const { return format_ == AudioFormat::Flac ? flac_.Error() : error_; }

private:
    AudioFormat format_ = AudioFormat::Wav;
    WavWriter wav_;
    FlacWriter flac_;
    std::string error_;
};

} // namespace tolvane::rip
