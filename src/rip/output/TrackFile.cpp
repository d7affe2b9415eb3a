#include "rip/output/TrackFile.h"

namespace tolvane::rip {

const char* ExtensionOf(AudioFormat format)
{
    return format == AudioFormat::Flac ? ".flac" : ".wav";
}

bool TrackFile::Open(const std::string& path, AudioFormat format, const FlacTags& tags, std::uint32_t bytes)
{
    format_ = format;
    if (format == AudioFormat::Flac) {
        return flac_.Open(path, tags, bytes);
    }
    if (!wav_.Open(path)) {
        error_ = "Invalid handle";
        return false;
    }
    if (!wav_.StartRiff() || !wav_.StartFormat() || !wav_.StartData(bytes)) {
        wav_.Abandon();
        error_ = "Error creating the WAV header";
        return false;
    }
    return true;
}

bool TrackFile::Write(ConstBytes audio)
{
    return format_ == AudioFormat::Flac ? flac_.Write(audio) : wav_.Write(audio);
}

bool TrackFile::Finish()
{
    return format_ == AudioFormat::Flac ? flac_.Finish() : wav_.Complete();
}

} // namespace tolvane::rip
