// Alignment-safe reads and writes of multi-byte fields in byte buffers.
//
// MMC fields are big-endian, ISO 9660 and the Windows request records are
// little-endian. Every command builder, decoder and the virtual drive goes
// through these helpers, never through packed structs or pointer casts.
// The caller checks that offset + width fits the span.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvane {

using ConstBytes = std::span<const std::uint8_t>;
using Bytes = std::span<std::uint8_t>;

constexpr std::uint16_t Be16(ConstBytes b, std::size_t off)
{
    assert(off + 2 <= b.size());
    return static_cast<std::uint16_t>(b[off] << 8 | b[off + 1]);
}

constexpr std::uint32_t Be24(ConstBytes b, std::size_t off)
{
    assert(off + 3 <= b.size());
    return std::uint32_t{b[off]} << 16 | std::uint32_t{b[off + 1]} << 8 | b[off + 2];
}

constexpr std::uint32_t Be32(ConstBytes b, std::size_t off)
{
    assert(off + 4 <= b.size());
    return std::uint32_t{b[off]} << 24 | std::uint32_t{b[off + 1]} << 16 | std::uint32_t{b[off + 2]} << 8 |
           b[off + 3];
}

constexpr std::uint16_t Le16(ConstBytes b, std::size_t off)
{
    assert(off + 2 <= b.size());
    return static_cast<std::uint16_t>(b[off] | b[off + 1] << 8);
}

constexpr std::uint32_t Le32(ConstBytes b, std::size_t off)
{
    assert(off + 4 <= b.size());
    return std::uint32_t{b[off]} | std::uint32_t{b[off + 1]} << 8 | std::uint32_t{b[off + 2]} << 16 |
           std::uint32_t{b[off + 3]} << 24;
}

constexpr void PutBe16(Bytes b, std::size_t off, std::uint16_t v)
{
    assert(off + 2 <= b.size());
    b[off] = static_cast<std::uint8_t>(v >> 8);
    b[off + 1] = static_cast<std::uint8_t>(v);
}

constexpr void PutBe24(Bytes b, std::size_t off, std::uint32_t v)
{
    assert(off + 3 <= b.size());
    b[off] = static_cast<std::uint8_t>(v >> 16);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
    b[off + 2] = static_cast<std::uint8_t>(v);
}

constexpr void PutBe32(Bytes b, std::size_t off, std::uint32_t v)
{
    assert(off + 4 <= b.size());
    b[off] = static_cast<std::uint8_t>(v >> 24);
    b[off + 1] = static_cast<std::uint8_t>(v >> 16);
    b[off + 2] = static_cast<std::uint8_t>(v >> 8);
    b[off + 3] = static_cast<std::uint8_t>(v);
}

constexpr void PutLe16(Bytes b, std::size_t off, std::uint16_t v)
{
    assert(off + 2 <= b.size());
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr void PutLe32(Bytes b, std::size_t off, std::uint32_t v)
{
    assert(off + 4 <= b.size());
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
    b[off + 2] = static_cast<std::uint8_t>(v >> 16);
    b[off + 3] = static_cast<std::uint8_t>(v >> 24);
}

} // namespace tolvane
