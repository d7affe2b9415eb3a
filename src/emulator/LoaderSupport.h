// Pieces shared by the cue and toc loaders: messages that name the sheet and
// line, times, file names found beside the sheet, WAVE headers, CD-Text pack
// files, and the builder that lays a disc's blocks out as extents.
#pragma once

#include "emulator/Disc.h"
#include "emulator/SectorSource.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tolvane::emulator::loader {

// "name:line: message"; line 0 leaves the line out. Control characters and bytes that are
// not UTF-8 appear as \xNN.
std::string At(const std::string& sheetName, int line, const std::string& message);
// The text with every control character and every byte outside a well-formed UTF-8
// sequence written as \xNN.
std::string Printable(std::string_view text);

// A sheet's text; refuses files too large to be a sheet.
bool ReadSheet(const std::string& path, std::string& text, std::string& error);

// Decimal digits only, no sign, at most `max`.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value);

// mm:ss:ff (seconds below 60, frames below 75) as a count of frames. Why it failed goes to `why`.
bool ParseMsf(std::string_view text, std::int32_t& frames, std::string& why);
// The range check alone, for parsers that read the three numbers as separate tokens.
bool CheckMsf(std::uint64_t minutes, std::uint64_t seconds, std::uint64_t frames, std::int32_t& total,
              std::string& why);

bool IsValidMcn(std::string_view text);  // 13 digits
bool IsValidIsrc(std::string_view text); // CC OOO YY NNNNN: 5 letters or digits, then 7 digits

std::string DirectoryOf(const std::string& path);
std::string BaseName(const std::string& path);
std::string LowerAscii(std::string text);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// A file that a sheet names, beside the sheet: `\` is read as `/`, and when the exact name is
// missing each part of the path is matched without regard to case. Empty when nothing matches.
std::string FindBeside(const std::string& sheetDirectory, const std::string& name);

// Text that is valid UTF-8 made only of characters up to U+00FF becomes their Latin-1 bytes;
// anything else (Latin-1 already, or characters Latin-1 lacks) is kept as it is.
std::string Utf8ToLatin1(std::string_view text);

// Where the samples of a WAVE file are: 16-bit stereo PCM at 44.1 kHz, nothing else.
struct WaveData {
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
};
bool ReadWaveHeader(const std::string& path, WaveData& data, std::string& error);

// A CD-Text pack file: 18-byte packs, with or without the 4-byte header of READ TOC format 5.
bool ReadCdTextFile(const std::string& path, std::vector<std::uint8_t>& packs, std::string& warning,
                    std::string& error);

// The format in which a track's blocks hold only user data (zeros, synthesized sectors), so the
// drive builds their sync, header and EDC/ECC.
SectorFormat UserDataFormat(TrackMode mode);

// Opens each image file once per sector layout (stride, alignment, byte order).
class FileSources {
public:
    // The source holding the block that starts `byteOffset` bytes into `path`, and that block's
    // sector number in the source.
    std::shared_ptr<const FileSource> Get(const std::string& path, std::uint64_t byteOffset,
                                          std::size_t stride, bool swapBytes, std::int64_t& sector,
                                          std::string& error);

private:
    std::map<std::tuple<std::string, std::size_t, std::uint64_t, bool>, std::shared_ptr<FileSource>> open_;
};

// Lays out a disc block after block: each call appends a run at the current position.
class DiscLayout {
public:
    explicit DiscLayout(Disc& disc) : disc_(disc) {}

    std::int32_t Position() const { return position_; }
    void Data(std::shared_ptr<const SectorSource> source, SectorFormat format, std::int64_t sourceSector,
              std::int32_t count);
    void Zeros(SectorFormat format, std::int32_t count);
    // Sectors that encode their own address, standing in for a missing file.
    void Pattern(SectorFormat format, std::int32_t count);
    // Blocks that no extent covers (between sessions).
    void Skip(std::int32_t count) { position_ += count; }

private:
    Disc& disc_;
    std::int32_t position_ = 0;
    std::shared_ptr<const SectorSource> zeros_;
    std::shared_ptr<const SectorSource> pattern_;
};

// Sets what follows from the tracks and sessions (capacity, the disc type of each session when
// `deriveDiscType`), and checks that the disc fits on a CD.
bool FinishCd(Disc& disc, bool deriveDiscType, std::string& error);

} // namespace tolvane::emulator::loader
