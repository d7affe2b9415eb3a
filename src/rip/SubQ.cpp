#include "rip/SubQ.h"

#include "util/Msf.h"

namespace tolvane::rip {
namespace {

std::uint16_t Crc(ConstBytes bytes)
{
    std::uint16_t crc = 0;
    for (const std::uint8_t b : bytes) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

bool IsBcd(std::uint8_t b)
{
    return (b >> 4) <= 9 && (b & 0x0F) <= 9;
}

// The ISRC's 6-bit letters: 0x00-0x09 are '0'-'9', 0x11-0x2A are 'A'-'Z'.
std::optional<char> IsrcCharacter(std::uint32_t code)
{
    if (code <= 0x09 || (code >= 0x11 && code <= 0x2A)) {
        return static_cast<char>('0' + code);
    }
    return std::nullopt;
}

// `count` BCD digits from the high nibble of q[from] on.
std::optional<std::string> Digits(ConstBytes q, std::size_t from, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = q[from + i / 2];
        const int d = i % 2 == 0 ? b >> 4 : b & 0x0F;
        if (d > 9) {
            return std::nullopt;
        }
        out += static_cast<char>('0' + d);
    }
    return out;
}

} // namespace

bool QCrcMatches(ConstBytes q)
{
    if (q.size() < 12) {
        return false;
    }
    const std::uint16_t crc = Crc(q.first(10));
    const std::uint16_t stored = Be16(q, 10);
    return stored == static_cast<std::uint16_t>(~crc) || stored == crc;
}

std::optional<QFrame> DecodeQ(ConstBytes q)
{
    if (!QCrcMatches(q)) {
        return std::nullopt;
    }
    QFrame f;
    f.control = q[0] >> 4;
    f.adr = q[0] & 0x0F;
    if (f.adr == 1) {
        const bool leadOut = q[1] == LeadOutTrack;
        for (std::size_t i = leadOut ? 2 : 1; i < 10; ++i) {
            if (!IsBcd(q[i])) {
                return std::nullopt;
            }
        }
        f.track = leadOut ? LeadOutTrack : static_cast<std::uint8_t>(FromBcd(q[1]));
        f.index = static_cast<std::uint8_t>(FromBcd(q[2]));
        f.relative = Msf{FromBcd(q[3]), FromBcd(q[4]), FromBcd(q[5])}.Frames();
        f.lba = Msf{FromBcd(q[7]), FromBcd(q[8]), FromBcd(q[9])}.ToLba();
        return f;
    }
    if (f.adr == 2) {
        auto digits = Digits(q, 1, 13);
        if (!digits) {
            return std::nullopt;
        }
        f.code = std::move(*digits);
        return f;
    }
    if (f.adr == 3) {
        // I1-I5 in 6 bits each from bit 7 of byte 1, two zero bits; I6-I12 in BCD from byte 5.
        const std::uint32_t letters = Be32(q, 1) >> 2;
        for (int i = 4; i >= 0; --i) {
            const auto c = IsrcCharacter(letters >> (6 * i) & 0x3F);
            if (!c) {
                return std::nullopt;
            }
            f.code += *c;
        }
        const auto digits = Digits(q, 5, 7);
        if (!digits) {
            return std::nullopt;
        }
        f.code += *digits;
        return f;
    }
    return f; // another mode: only its control nibble means something here
}

} // namespace tolvane::rip
