#include "rip/output/FlacWriter.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace tolvane::rip {

// The encoder writes through our own callbacks on our own FILE, so that a failed write and a
// failed close are both seen (libFLAC's own file output does not check fclose).
struct FlacWriter::Encoder {
    FLAC__StreamEncoder* flac = nullptr;
    std::FILE* file = nullptr;
    std::array<FLAC__StreamMetadata*, 3> metadata{};
    std::size_t metadataCount = 0;
    bool writeFailed = false;
    bool abandoned = false; // everything the encoder still sends is refused
};

namespace {

constexpr std::size_t FrameBytes = 4; // one sample of each channel, 16 bits each

FLAC__StreamEncoderWriteStatus WriteBytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                          std::size_t bytes, std::uint32_t, std::uint32_t, void* data)
{
    auto* encoder = static_cast<FlacWriter::Encoder*>(data);
    if (encoder->abandoned || std::fwrite(buffer, 1, bytes, encoder->file) != bytes) {
        encoder->writeFailed = !encoder->abandoned;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data)
{
    auto* encoder = static_cast<FlacWriter::Encoder*>(data);
    if (encoder->abandoned || fseeko(encoder->file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data)
{
    auto* encoder = static_cast<FlacWriter::Encoder*>(data);
    const off_t at = ftello(encoder->file);
    if (at < 0)
        return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *offset = static_cast<FLAC__uint64>(at);
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

bool AddComment(FLAC__StreamMetadata* comments, const char* name, const std::string& value)
{
    if (value.empty())
        return true;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    return FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, value.c_str()) &&
           FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false);
}

std::string NumberText(int number)
{
    return number > 0 ? std::to_string(number) : std::string();
}

} // namespace

FlacWriter::FlacWriter() = default;

FlacWriter::~FlacWriter()
{
    Abandon();
}

bool FlacWriter::Fail(std::string message)
{
    error_ = std::move(message);
    return false;
}

void FlacWriter::FreeMetadata()
{
    for (std::size_t i = 0; i < encoder_->metadataCount; ++i)
        FLAC__metadata_object_delete(encoder_->metadata[i]);
    encoder_->metadataCount = 0;
}

bool FlacWriter::Open(const std::string& path, const FlacTags& tags, std::uint64_t expectedBytes,
                      int compression)
{
    Abandon();
    error_.clear();
    partialBytes_ = 0;
    samples_ = 0;
    if (compression < 0 || compression > 8)
        return Fail("The FLAC compression level must be from 0 to 8");

    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr)
        return Fail("Error creating file " + path + ": " + std::strerror(errno));
    encoder_ = new Encoder;
    encoder_->file = file;
    encoder_->flac = FLAC__stream_encoder_new();
    if (encoder_->flac == nullptr) {
        Abandon();
        return Fail("Out of memory");
    }

    FLAC__StreamMetadata* comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    bool built = comments != nullptr;
    if (built)
        encoder_->metadata[encoder_->metadataCount++] = comments;
    built = built && AddComment(comments, "TITLE", tags.title) &&
            AddComment(comments, "ARTIST", tags.artist) && AddComment(comments, "ALBUM", tags.album) &&
            AddComment(comments, "ALBUMARTIST", tags.albumArtist) &&
            AddComment(comments, "TRACKNUMBER", NumberText(tags.trackNumber)) &&
            AddComment(comments, "TRACKTOTAL", NumberText(tags.trackTotal)) &&
            AddComment(comments, "DISCID", tags.discId) && AddComment(comments, "ISRC", tags.isrc) &&
            AddComment(comments, "MUSICBRAINZ_DISCID", tags.musicBrainzDiscId);

    const std::uint64_t expectedSamples = expectedBytes / FrameBytes;
    if (built && expectedSamples > 0) {
        // Placeholders at the target samples; the encoder fills in each point's frame as it passes.
        FLAC__StreamMetadata* table = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
        built = table != nullptr;
        if (built)
            encoder_->metadata[encoder_->metadataCount++] = table;
        built = built &&
                FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(table, SeekSpacing,
                                                                                         expectedSamples) &&
                FLAC__metadata_object_seektable_template_sort(table, true);
    }
    if (built) {
        // Room to add tags or a picture later without rewriting the audio (as the flac tool leaves).
        FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
        built = padding != nullptr;
        if (built) {
            padding->length = 8192;
            encoder_->metadata[encoder_->metadataCount++] = padding;
        }
    }
    if (!built) {
        Abandon();
        return Fail("Out of memory");
    }

    FLAC__StreamEncoder* flac = encoder_->flac;
    bool set = FLAC__stream_encoder_set_channels(flac, 2) &&
               FLAC__stream_encoder_set_bits_per_sample(flac, 16) &&
               FLAC__stream_encoder_set_sample_rate(flac, SampleRate) &&
               FLAC__stream_encoder_set_compression_level(flac, static_cast<std::uint32_t>(compression)) &&
               FLAC__stream_encoder_set_metadata(flac, encoder_->metadata.data(),
                                                 static_cast<std::uint32_t>(encoder_->metadataCount));
    if (set && expectedSamples > 0)
        set = FLAC__stream_encoder_set_total_samples_estimate(flac, expectedSamples);
    const FLAC__StreamEncoderInitStatus status =
        set ? FLAC__stream_encoder_init_stream(flac, WriteBytes, Seek, Tell, nullptr, encoder_)
            : FLAC__STREAM_ENCODER_INIT_STATUS_ALREADY_INITIALIZED;
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        const bool writeFailed = encoder_->writeFailed;
        Abandon();
        if (writeFailed)
            return Fail("Error writing file");
        return Fail(std::string("The FLAC encoder could not start: ") +
                    FLAC__StreamEncoderInitStatusString[status]);
    }
    return true;
}

bool FlacWriter::Encode(std::span<const std::uint8_t> frames)
{
    // Converted a block at a time, so a whole track never needs a second copy in memory.
    constexpr std::size_t BlockFrames = 4096;
    std::array<FLAC__int32, BlockFrames * 2> block;
    while (!frames.empty()) {
        const std::size_t count = std::min(frames.size() / FrameBytes, BlockFrames);
        for (std::size_t i = 0; i < count * 2; ++i)
            block[i] = static_cast<std::int16_t>(frames[2 * i] | frames[2 * i + 1] << 8);
        if (!FLAC__stream_encoder_process_interleaved(encoder_->flac, block.data(),
                                                      static_cast<std::uint32_t>(count))) {
            if (encoder_->writeFailed)
                return Fail("Error writing file");
            return Fail(std::string("Error encoding FLAC: ") +
                        FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder_->flac)]);
        }
        samples_ += count;
        frames = frames.subspan(count * FrameBytes);
    }
    return true;
}

bool FlacWriter::Write(std::span<const std::uint8_t> pcm)
{
    if (encoder_ == nullptr)
        return Fail(error_.empty() ? "The FLAC file is not open" : error_);
    if (!error_.empty())
        return false;
    if (partialBytes_ > 0) {
        const std::size_t take = std::min(FrameBytes - partialBytes_, pcm.size());
        std::copy_n(pcm.begin(), take, partial_ + partialBytes_);
        partialBytes_ += take;
        pcm = pcm.subspan(take);
        if (partialBytes_ < FrameBytes)
            return true;
        partialBytes_ = 0;
        if (!Encode(partial_))
            return false;
    }
    const std::size_t whole = pcm.size() / FrameBytes * FrameBytes;
    if (!Encode(pcm.first(whole)))
        return false;
    partialBytes_ = pcm.size() - whole;
    std::copy(pcm.begin() + static_cast<std::ptrdiff_t>(whole), pcm.end(), partial_);
    return true;
}

bool FlacWriter::Finish()
{
    if (encoder_ == nullptr)
        return Fail(error_.empty() ? "The FLAC file is not open" : error_);
    if (!error_.empty()) {
        Abandon();
        return false;
    }
    if (partialBytes_ > 0) {
        Abandon();
        return Fail("The audio ends inside a sample (" + std::to_string(partialBytes_) + " bytes left over)");
    }
    // A stream shorter than expected (a cancelled rip) never reaches its last seek points: as
    // placeholders they are skipped by players, as targets they would point at the file's start.
    for (std::size_t i = 0; i < encoder_->metadataCount; ++i) {
        FLAC__StreamMetadata* block = encoder_->metadata[i];
        if (block->type != FLAC__METADATA_TYPE_SEEKTABLE)
            continue;
        for (std::uint32_t p = 0; p < block->data.seek_table.num_points; ++p)
            if (block->data.seek_table.points[p].sample_number >= samples_)
                block->data.seek_table.points[p].sample_number = FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER;
    }
    const bool finished = FLAC__stream_encoder_finish(encoder_->flac);
    const bool writeFailed = encoder_->writeFailed;
    const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_->flac);
    FLAC__stream_encoder_delete(encoder_->flac);
    encoder_->flac = nullptr;
    const bool closed = std::fclose(encoder_->file) == 0;
    encoder_->file = nullptr;
    FreeMetadata();
    delete encoder_;
    encoder_ = nullptr;
    if (writeFailed || !closed)
        return Fail("Error writing file");
    if (!finished)
        return Fail(std::string("Error completing the FLAC file: ") + FLAC__StreamEncoderStateString[state]);
    return true;
}

void FlacWriter::Abandon()
{
    if (encoder_ == nullptr)
        return;
    encoder_->abandoned = true;
    if (encoder_->flac != nullptr)
        FLAC__stream_encoder_delete(encoder_->flac); // its closing writes are refused
    if (encoder_->file != nullptr)
        std::fclose(encoder_->file);
    FreeMetadata();
    delete encoder_;
    encoder_ = nullptr;
    partialBytes_ = 0;
}

} // namespace tolvane::rip
