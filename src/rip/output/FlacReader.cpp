#include "rip/output/FlacReader.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace tolvane::rip {

struct FlacReader::Decoder {
    FLAC__StreamDecoder* flac = nullptr;
    // The frame decoded last, as WAV bytes, and the sample frame it starts at.
    std::vector<std::uint8_t> pending;
    std::uint64_t pendingStart = 0;
    FLAC__StreamMetadata_StreamInfo info{};
    bool infoSeen = false;
    std::string streamError; // what the decoder's error callback reported
};

namespace {

constexpr std::size_t FrameBytes = 4;

FLAC__StreamDecoderWriteStatus WriteFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const buffer[], void* data)
{
    auto* decoder = static_cast<FlacReader::Decoder*>(data);
    if (frame->header.channels != 2 || frame->header.bits_per_sample != 16)
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    const std::uint32_t count = frame->header.blocksize;
    decoder->pending.resize(std::size_t{count} * FrameBytes);
    std::uint8_t* out = decoder->pending.data();
    for (std::uint32_t i = 0; i < count; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            const auto sample = static_cast<std::uint16_t>(buffer[channel][i]);
            *out++ = static_cast<std::uint8_t>(sample);
            *out++ = static_cast<std::uint8_t>(sample >> 8);
        }
    }
    // The decoder turns frame numbers into sample numbers before it hands a frame over, and
    // after a seek it hands over the target frame from the target sample on.
    decoder->pendingStart = frame->header.number.sample_number;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data)
{
    auto* decoder = static_cast<FlacReader::Decoder*>(data);
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
        decoder->info = metadata->data.stream_info;
        decoder->infoSeen = true;
    }
}

void StreamError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data)
{
    auto* decoder = static_cast<FlacReader::Decoder*>(data);
    if (decoder->streamError.empty())
        decoder->streamError = FLAC__StreamDecoderErrorStatusString[status];
}

} // namespace

FlacReader::FlacReader() = default;

FlacReader::~FlacReader()
{
    Close();
}

bool FlacReader::Fail(std::string message)
{
    error_ = path_;
    error_ += ": ";
    error_ += message;
    return false;
}

void FlacReader::Close()
{
    if (decoder_ == nullptr)
        return;
    if (decoder_->flac != nullptr)
        FLAC__stream_decoder_delete(decoder_->flac);
    delete decoder_;
    decoder_ = nullptr;
}

bool FlacReader::Open(const std::string& path)
{
    Close();
    path_ = path;
    error_.clear();
    frames_ = 0;
    decoder_ = new Decoder;
    decoder_->flac = FLAC__stream_decoder_new();
    if (decoder_->flac == nullptr)
        return Fail("out of memory");
    FLAC__stream_decoder_set_md5_checking(decoder_->flac, true);
    const FLAC__StreamDecoderInitStatus status = FLAC__stream_decoder_init_file(
        decoder_->flac, path.c_str(), WriteFrame, Metadata, StreamError, decoder_);
    if (status == FLAC__STREAM_DECODER_INIT_STATUS_ERROR_OPENING_FILE)
        return Fail(std::strerror(errno));
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return Fail(FLAC__StreamDecoderInitStatusString[status]);
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_->flac) || !decoder_->infoSeen)
        return Fail("not a FLAC file");
    const FLAC__StreamMetadata_StreamInfo& info = decoder_->info;
    if (info.channels != 2 || info.bits_per_sample != 16 || info.sample_rate != 44100)
        return Fail("not CD audio (2 channels of 16 bits at 44,100 Hz)");
    // A rip always completes its stream information; without a length it was cut off.
    if (info.total_samples == 0)
        return Fail("the file does not say how long its audio is");
    frames_ = info.total_samples;
    return true;
}

bool FlacReader::ReadAt(std::uint64_t frame, std::span<std::uint8_t> out)
{
    if (decoder_ == nullptr || frames_ == 0)
        return Fail("not open");
    if (out.size() % FrameBytes != 0 || frame + out.size() / FrameBytes > frames_)
        return Fail("read beyond the end of the audio");
    Decoder& d = *decoder_;
    std::size_t filled = 0;
    while (filled < out.size()) {
        const std::uint64_t want = frame + filled / FrameBytes;
        const std::uint64_t pendingFrames = d.pending.size() / FrameBytes;
        if (want >= d.pendingStart && want < d.pendingStart + pendingFrames) {
            const std::size_t from = static_cast<std::size_t>(want - d.pendingStart) * FrameBytes;
            const std::size_t take = std::min(d.pending.size() - from, out.size() - filled);
            std::memcpy(out.data() + filled, d.pending.data() + from, take);
            filled += take;
            continue;
        }
        const bool next = want == d.pendingStart + pendingFrames &&
                          FLAC__stream_decoder_get_state(d.flac) != FLAC__STREAM_DECODER_END_OF_STREAM;
        d.pending.clear();
        const bool ok = next ? FLAC__stream_decoder_process_single(d.flac)
                             : FLAC__stream_decoder_seek_absolute(d.flac, want);
        if (!d.streamError.empty())
            return Fail(d.streamError);
        if (!ok) {
            // A failed seek leaves the decoder unusable until it is flushed.
            FLAC__stream_decoder_flush(d.flac);
            return Fail(FLAC__StreamDecoderStateString[FLAC__stream_decoder_get_state(d.flac)]);
        }
        if (d.pending.empty())
            return Fail("the audio ends before its stated length");
    }
    return true;
}

bool FlacReader::Read(const std::function<void(std::span<const std::uint8_t>)>& sink)
{
    if (decoder_ == nullptr || frames_ == 0)
        return Fail("not open");
    if (!FLAC__stream_decoder_reset(decoder_->flac) ||
        !FLAC__stream_decoder_process_until_end_of_metadata(decoder_->flac))
        return Fail(FLAC__StreamDecoderStateString[FLAC__stream_decoder_get_state(decoder_->flac)]);
    decoder_->pending.clear();
    decoder_->pendingStart = 0;
    // 27 sectors a piece, as the disc object reads them.
    std::vector<std::uint8_t> piece(27 * 2352);
    for (std::uint64_t at = 0; at < frames_;) {
        const std::uint64_t count = std::min<std::uint64_t>(piece.size() / FrameBytes, frames_ - at);
        const std::span<std::uint8_t> part(piece.data(), static_cast<std::size_t>(count) * FrameBytes);
        if (!ReadAt(at, part))
            return false;
        sink(part);
        at += count;
    }
    // Decoding to the end lets the decoder compare the MD5 signature of all the audio.
    if (!FLAC__stream_decoder_process_until_end_of_stream(decoder_->flac) || !decoder_->streamError.empty())
        return Fail(decoder_->streamError.empty() ? "the stream is damaged" : decoder_->streamError);
    const bool md5 = FLAC__stream_decoder_finish(decoder_->flac);
    Close(); // a finished decoder reads nothing more
    if (!md5)
        return Fail("the audio does not match its MD5 signature");
    return true;
}

} // namespace tolvane::rip
