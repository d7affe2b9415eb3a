// CD-Text: language blocks of texts, and the 18-byte packs that carry them in
// the lead-in (READ TOC format 5). The encoder and the decoder live together so
// that each is the other's test, and both are checked against packs made by
// other tools.
#pragma once

#include "util/ByteOrder.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tolvane::cdtext {

// Pack types.
constexpr std::uint8_t Title = 0x80;
constexpr std::uint8_t Performer = 0x81;
constexpr std::uint8_t Songwriter = 0x82;
constexpr std::uint8_t Composer = 0x83;
constexpr std::uint8_t Arranger = 0x84;
constexpr std::uint8_t Message = 0x85;
constexpr std::uint8_t DiscId = 0x86;
constexpr std::uint8_t Genre = 0x87;
constexpr std::uint8_t TocInfo = 0x88;
constexpr std::uint8_t TocInfo2 = 0x89;
constexpr std::uint8_t ClosedInfo = 0x8D;
constexpr std::uint8_t UpcIsrc = 0x8E;
constexpr std::uint8_t SizeInfo = 0x8F;

// Character codes of a block.
constexpr std::uint8_t CharsetLatin1 = 0x00;
constexpr std::uint8_t CharsetAscii = 0x01;
constexpr std::uint8_t CharsetMsJis = 0x80;

constexpr std::size_t PackSize = 18;

// One language block.
struct Block {
    std::uint8_t language = 0x09; // English
    std::uint8_t characterCode = CharsetLatin1;
    // Texts by pack type (0x80-0x86, 0x8E); index 0 is the disc, n the n-th track
    // of the disc (counted from 1, whatever the first track number). Strings hold
    // the bytes as recorded (ISO 8859-1 or MS-JIS), without the terminating NUL.
    std::map<std::uint8_t, std::vector<std::string>> texts;
    std::uint16_t genreCode = 0; // 0: no genre pack
    std::string genreText;

    bool DoubleByte() const { return characterCode == CharsetMsJis; }
    // The text of pack type `type` for index i, or empty.
    const std::string& Text(std::uint8_t type, std::size_t i) const;
};

// The CRC-16 (CCITT, polynomial 0x1021, inverted) of a pack's first 16 bytes, as stored in bytes 16-17.
std::uint16_t PackCrc(ConstBytes first16);

// Encodes up to 8 blocks for a disc whose tracks are numbered firstTrack to
// lastTrack: text packs of each block, then its size information packs (0x8F).
// With tabForRepeats, a track text equal to the previous track's (from the second
// track on) is written as TAB, as pressed discs often do; off by default because
// some readers do not expand it.
std::vector<std::uint8_t> Encode(const std::vector<Block>& blocks, std::uint8_t firstTrack, std::uint8_t lastTrack,
                                 bool tabForRepeats = false);

struct Decoded {
    std::vector<Block> blocks;
    std::uint8_t firstTrack = 0; // from the size information, when present
    std::uint8_t lastTrack = 0;
    int badCrcPacks = 0;
};

// Decodes packs (a whole number of 18-byte packs; a trailing partial pack is
// ignored). Text of a pack type is the concatenation of its packs' text bytes,
// split at NUL (a two-byte NUL in double-byte blocks); the first pack's track
// number says whose string comes first; a TAB alone means "same as before".
Decoded Decode(ConstBytes packs);

} // namespace tolvane::cdtext
