#include "util/CdText.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace tolvane::cdtext {

namespace {

constexpr std::size_t TextBytes = 12; // payload of a pack, bytes 4-15
constexpr std::size_t MaxBlocks = 8;
// Sequence numbers are one byte per block and the three size packs need the last three.
constexpr std::size_t MaxTextPacks = 253;
constexpr std::size_t MaxIndex = 100; // the disc and tracks 1-99
constexpr std::size_t SizeInfoBytes = 36; // the payloads of the three 0x8F packs
constexpr char Tab = '\t';

// Text-bearing pack types in the order they are written.
constexpr std::uint8_t WrittenTypes[] = {Title, Performer, Songwriter, Composer, Arranger,
                                         Message, DiscId, Genre, UpcIsrc};

bool PerTrack(std::uint8_t type)
{
    return type != DiscId && type != Genre;
}

// Only names and messages follow the block's character code; the disc id, the genre text and
// the UPC/ISRC codes are ASCII in every block.
bool FollowsCharacterCode(std::uint8_t type)
{
    return type >= Title && type <= Message;
}

// Lays the strings of one pack type of one block out over consecutive packs.
class TypeWriter {
public:
    TypeWriter(std::vector<std::uint8_t>& packs, std::size_t& sequence, std::uint8_t type, std::uint8_t block,
               bool doubleByte)
        : packs_(packs), sequence_(sequence), type_(type), block_(block), doubleByte_(doubleByte)
    {
    }

    // Writes `data` (the string with its terminator) for track byte `track`; the first
    // `binaryPrefix` bytes are not characters and do not count in the character position.
    void Write(std::uint8_t track, std::string_view data, std::size_t binaryPrefix)
    {
        const std::size_t width = doubleByte_ ? 2 : 1;
        for (std::size_t k = 0; k < data.size(); ++k)
        {
            if (fill_ == TextBytes && !OpenPack(track, k < binaryPrefix ? 0 : (k - binaryPrefix) / width))
                return;
            packs_[start_ + 4 + fill_++] = static_cast<std::uint8_t>(data[k]);
        }
    }

    int Count() const { return count_; }

private:
    bool OpenPack(std::uint8_t track, std::size_t charactersBefore)
    {
        if (sequence_ >= MaxTextPacks)
            return false;
        start_ = packs_.size();
        packs_.resize(start_ + PackSize, 0); // unused bytes of the last pack stay NUL
        packs_[start_] = type_;
        packs_[start_ + 1] = track;
        packs_[start_ + 2] = static_cast<std::uint8_t>(sequence_++);
        // Bit 7 double-byte, bits 4-6 block, bits 0-3 characters of this string before the pack.
        packs_[start_ + 3] = static_cast<std::uint8_t>((doubleByte_ ? 0x80 : 0) | block_ << 4 |
                                                       std::min<std::size_t>(charactersBefore, 15));
        fill_ = 0;
        ++count_;
        return true;
    }

    std::vector<std::uint8_t>& packs_;
    std::size_t& sequence_;
    std::uint8_t type_;
    std::uint8_t block_;
    bool doubleByte_;
    std::size_t start_ = 0;
    std::size_t fill_ = TextBytes;
    int count_ = 0;
};

bool HasText(const Block& block, std::uint8_t type, std::size_t count)
{
    if (type == Genre)
        return block.genreCode != 0 || !block.genreText.empty();
    for (std::size_t i = 0; i < count; ++i)
        if (!block.Text(type, i).empty())
            return true;
    return false;
}

// The bytes written for index i of `type`: the text (or TAB for a repeat) and its terminator.
std::string StringData(const Block& block, std::uint8_t type, std::size_t i, bool doubleByte, bool tabForRepeats)
{
    std::string text = block.Text(type, i);
    if (doubleByte && text.size() % 2 != 0)
        text.pop_back(); // half a character would shift every following string by one byte
    if (tabForRepeats && i >= 2 && FollowsCharacterCode(type) && !text.empty() && text == block.Text(type, i - 1))
        text.assign(doubleByte ? 2 : 1, Tab);
    text.append(doubleByte ? 2 : 1, '\0');
    return text;
}

struct EncodedBlock {
    std::vector<std::uint8_t> packs; // text packs, CRC not yet set
    std::array<std::uint8_t, 16> counts{}; // packs per type 0x80-0x8F
    std::size_t sequence = 0;
};

EncodedBlock EncodeTexts(const Block& block, std::uint8_t number, std::uint8_t firstTrack, std::size_t tracks,
                         bool tabForRepeats)
{
    EncodedBlock out;
    for (const std::uint8_t type : WrittenTypes)
    {
        const std::size_t count = PerTrack(type) ? tracks + 1 : 1;
        if (!HasText(block, type, count))
            continue;
        const bool doubleByte = block.DoubleByte() && FollowsCharacterCode(type);
        TypeWriter writer(out.packs, out.sequence, type, number, doubleByte);
        if (type == Genre)
        {
            std::array<std::uint8_t, 2> code{};
            PutBe16(code, 0, block.genreCode);
            std::string data{static_cast<char>(code[0]), static_cast<char>(code[1])};
            data += block.genreText;
            data.push_back('\0');
            writer.Write(0, data, 2);
        }
        else
        {
            for (std::size_t i = 0; i < count; ++i)
            {
                const auto track = static_cast<std::uint8_t>(i == 0 ? 0 : firstTrack + i - 1);
                writer.Write(track, StringData(block, type, i, doubleByte, tabForRepeats), 0);
            }
        }
        out.counts[type - Title] = static_cast<std::uint8_t>(writer.Count());
    }
    out.counts[SizeInfo - Title] = 3;
    return out;
}

// Everything gathered for one block while the packs are read.
struct Gathered {
    struct TypeBytes {
        std::uint8_t firstTrack = 0;
        bool doubleByte = false;
        std::vector<std::uint8_t> bytes;
    };
    bool present = false;
    std::array<std::uint8_t, SizeInfoBytes> sizeInfo{};
    std::array<bool, 3> sizeSeen{};
    std::map<std::uint8_t, TypeBytes> types;
};

bool IsGathered(std::uint8_t type)
{
    return (type >= Title && type <= Genre) || type == UpcIsrc;
}

// Splits at NUL characters (one or two bytes wide); a last string without terminator counts too.
std::vector<std::string> SplitStrings(ConstBytes bytes, std::size_t width)
{
    std::vector<std::string> strings;
    std::string current;
    for (std::size_t k = 0; k + width <= bytes.size(); k += width)
    {
        if (bytes[k] == 0 && (width == 1 || bytes[k + 1] == 0))
        {
            strings.push_back(std::move(current));
            current.clear();
        }
        else
        {
            for (std::size_t j = k; j < k + width; ++j)
                current.push_back(static_cast<char>(bytes[j]));
        }
    }
    if (!current.empty())
        strings.push_back(std::move(current));
    return strings;
}

std::vector<std::string> AssignToTracks(const Gathered::TypeBytes& type, std::uint8_t firstTrack)
{
    const std::size_t width = type.doubleByte ? 2 : 1;
    std::size_t index = 0;
    // A track number below the stated first track can only be wrong; read it as counted from 1.
    if (type.firstTrack != 0)
        index = type.firstTrack >= firstTrack ? type.firstTrack - firstTrack + 1 : type.firstTrack;
    std::vector<std::string> texts;
    for (auto& text : SplitStrings(type.bytes, width))
    {
        if (index > MaxIndex)
            break;
        if (texts.size() <= index)
            texts.resize(index + 1);
        if (text == std::string(width, Tab))
            texts[index] = index > 0 ? texts[index - 1] : std::string();
        else
            texts[index] = std::move(text);
        ++index;
    }
    // The padding of the last pack reads as empty strings of tracks that have none.
    while (!texts.empty() && texts.back().empty())
        texts.pop_back();
    return texts;
}

Block MakeBlock(const Gathered& gathered, std::size_t number, std::uint8_t firstTrack)
{
    Block block;
    if (gathered.sizeSeen[0])
        block.characterCode = gathered.sizeInfo[0];
    else if (std::ranges::any_of(gathered.types, [](const auto& entry) { return entry.second.doubleByte; }))
        block.characterCode = CharsetMsJis;
    if (gathered.sizeSeen[2])
        block.language = gathered.sizeInfo[28 + number];
    for (const auto& [type, bytes] : gathered.types)
    {
        if (type == Genre)
        {
            if (bytes.bytes.size() < 2)
                continue;
            block.genreCode = Be16(bytes.bytes, 0);
            const auto strings = SplitStrings(ConstBytes(bytes.bytes).subspan(2), bytes.doubleByte ? 2 : 1);
            if (!strings.empty())
                block.genreText = strings.front();
            continue;
        }
        auto texts = AssignToTracks(bytes, firstTrack);
        if (!texts.empty())
            block.texts[type] = std::move(texts);
    }
    return block;
}

} // namespace

const std::string& Block::Text(std::uint8_t type, std::size_t i) const
{
    static const std::string empty;
    const auto found = texts.find(type);
    if (found == texts.end() || i >= found->second.size())
        return empty;
    return found->second[i];
}

std::uint16_t PackCrc(ConstBytes first16)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < 16 && i < first16.size(); ++i)
    {
        crc ^= static_cast<std::uint16_t>(first16[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return static_cast<std::uint16_t>(~crc);
}

std::vector<std::uint8_t> Encode(const std::vector<Block>& blocks, std::uint8_t firstTrack, std::uint8_t lastTrack,
                                 bool tabForRepeats)
{
    const std::size_t tracks = lastTrack >= firstTrack ? lastTrack - firstTrack + 1 : 0;
    const std::size_t blockCount = std::min(blocks.size(), MaxBlocks);

    std::vector<EncodedBlock> encoded;
    for (std::size_t b = 0; b < blockCount; ++b)
        encoded.push_back(EncodeTexts(blocks[b], static_cast<std::uint8_t>(b), firstTrack, tracks, tabForRepeats));

    // Every block's size information lists the last sequence number and language of all blocks.
    std::array<std::uint8_t, SizeInfoBytes> shared{};
    for (std::size_t b = 0; b < blockCount; ++b)
    {
        shared[20 + b] = static_cast<std::uint8_t>(encoded[b].sequence + 2);
        shared[28 + b] = blocks[b].language;
    }

    std::vector<std::uint8_t> out;
    for (std::size_t b = 0; b < blockCount; ++b)
    {
        auto sizeInfo = shared;
        sizeInfo[0] = blocks[b].characterCode;
        sizeInfo[1] = firstTrack;
        sizeInfo[2] = lastTrack;
        sizeInfo[3] = 0; // copyright flags: none
        std::ranges::copy(encoded[b].counts, sizeInfo.begin() + 4);

        out.insert(out.end(), encoded[b].packs.begin(), encoded[b].packs.end());
        for (std::size_t k = 0; k < 3; ++k)
        {
            const std::size_t start = out.size();
            out.resize(start + PackSize, 0);
            out[start] = SizeInfo;
            out[start + 1] = static_cast<std::uint8_t>(k); // which third of the size information
            out[start + 2] = static_cast<std::uint8_t>(encoded[b].sequence + k);
            out[start + 3] = static_cast<std::uint8_t>(b << 4);
            std::copy_n(sizeInfo.begin() + 12 * k, TextBytes, out.begin() + static_cast<std::ptrdiff_t>(start + 4));
        }
    }

    for (std::size_t start = 0; start + PackSize <= out.size(); start += PackSize)
    {
        const Bytes pack(out.data() + start, PackSize);
        PutBe16(pack, 16, PackCrc(pack.first(16)));
    }
    return out;
}

Decoded Decode(ConstBytes packs)
{
    Decoded decoded;
    std::array<Gathered, MaxBlocks> gathered;
    for (std::size_t start = 0; start + PackSize <= packs.size(); start += PackSize)
    {
        const ConstBytes pack = packs.subspan(start, PackSize);
        if (PackCrc(pack.first(16)) != Be16(pack, 16))
            ++decoded.badCrcPacks;
        const std::uint8_t type = pack[0];
        auto& block = gathered[pack[3] >> 4 & 0x07];
        if (type == SizeInfo)
        {
            block.present = true;
            const std::uint8_t part = pack[1];
            if (part < 3)
            {
                std::copy_n(pack.begin() + 4, TextBytes, block.sizeInfo.begin() + 12 * part);
                block.sizeSeen[part] = true;
            }
        }
        else if (IsGathered(type))
        {
            block.present = true;
            auto [entry, created] = block.types.try_emplace(type);
            if (created)
            {
                entry->second.firstTrack = pack[1];
                // The disc id, genre and UPC/ISRC texts are ASCII whatever the pack's flag says.
                entry->second.doubleByte = (pack[3] & 0x80) != 0 && FollowsCharacterCode(type);
            }
            entry->second.bytes.insert(entry->second.bytes.end(), pack.begin() + 4, pack.begin() + 16);
        }
    }

    for (const auto& block : gathered)
    {
        if (block.sizeSeen[0])
        {
            decoded.firstTrack = block.sizeInfo[1];
            decoded.lastTrack = block.sizeInfo[2];
            break;
        }
    }
    for (std::size_t b = 0; b < MaxBlocks; ++b)
    {
        if (!gathered[b].present)
            continue;
        // Texts are indexed from the disc's first track, which each block states for itself.
        std::uint8_t firstTrack = gathered[b].sizeSeen[0] ? gathered[b].sizeInfo[1] : decoded.firstTrack;
        if (firstTrack == 0)
            firstTrack = 1;
        decoded.blocks.push_back(MakeBlock(gathered[b], b, firstTrack));
    }
    return decoded;
}

} // namespace tolvane::cdtext
