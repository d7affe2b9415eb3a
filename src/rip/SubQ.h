// The Q sub-channel of one block as READ CD gives it formatted (16 bytes): a pure decoder.
//
// Q carries, per block, the control nibble (pre-emphasis, copy, data, four channels) and one of
// three kinds of data, told by its ADR nibble: the position (ADR 1: track, index, the times), the
// media catalogue number (ADR 2) or the track's ISRC (ADR 3). A pressed disc puts a code frame
// in place of a position frame now and then, so a code frame says nothing about where it is.
#pragma once

#include "util/ByteOrder.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane::rip {

struct QFrame {
    std::uint8_t control = 0; // bit 0x1 pre-emphasis, 0x2 copy permitted, 0x4 data, 0x8 four channels
    std::uint8_t adr = 0;     // 1 position, 2 catalogue number, 3 ISRC
    // ADR 1.
    std::uint8_t track = 0;    // 1-99, LeadOutTrack in the lead-out
    std::uint8_t index = 0;    // 0 in the pause before INDEX 01
    std::int32_t lba = 0;      // the block's address, from the absolute time
    std::int32_t relative = 0; // frames from INDEX 01 (counting down in the pause)
    // ADR 2: the 13 digits; ADR 3: the 12 characters (CCOOOYYNNNNN).
    std::string code;
};

constexpr std::uint8_t LeadOutTrack = 0xAA;

// Whether bytes 10-11 hold the CRC of bytes 0-9 (CCITT, x^16 + x^12 + x^5 + 1). The disc stores
// it inverted; a drive may hand it over either way, so both are taken.
bool QCrcMatches(ConstBytes q);

// The frame of 12 or more bytes; nothing when its CRC does not match or its fields are not what
// its ADR allows (a BCD nibble above 9, a character outside the ISRC's code): such a frame is as
// good as unread.
std::optional<QFrame> DecodeQ(ConstBytes q);

} // namespace tolvane::rip
