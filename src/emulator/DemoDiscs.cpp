#include "emulator/DemoDiscs.h"

#include "emulator/ImageLoader.h"
#include "util/ByteOrder.h"
#include "util/Msf.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The demo audio is computed with integers only (a sine table built at compile
// time, fixed-point envelopes and gains), so every machine produces the same
// bytes, and each sector is computed from its own sample index without state.

namespace tolvane::emulator {

namespace {

constexpr std::int32_t SampleRate = 44100;
constexpr std::int32_t SamplesPerSector = 588; // 2352 bytes of 16-bit stereo
constexpr std::int32_t SectorsPerSecond = Msf::FramesPerSecond;

// ---------------------------------------------------------------------------
// Oscillator

constexpr int SineBits = 12;
constexpr std::int32_t SineSize = 1 << SineBits;
constexpr std::int32_t FullScale = 32767; // Q15 amplitude of the table

// sin(x) for 0 <= x <= pi/2, x and the result in Q30, by the Taylor series in
// Horner form up to x^13 (error far below one Q15 step).
constexpr std::int64_t QuarterSineQ30(std::int64_t x)
{
    constexpr std::int64_t One = std::int64_t{1} << 30;
    const std::int64_t x2 = x * x >> 30;
    std::int64_t r = One;
    for (const std::int64_t divisor : {156, 110, 72, 42, 20, 6}) { // (2k)(2k+1), innermost first
        r = One - (x2 * r >> 30) / divisor;
    }
    return x * r >> 30;
}

// One full wave plus a guard entry for interpolation.
constexpr std::array<std::int32_t, SineSize + 1> MakeSineTable()
{
    constexpr std::int64_t HalfPiQ30 = 1686629713; // pi/2 * 2^30
    constexpr std::int32_t Quarter = SineSize / 4;
    std::array<std::int32_t, SineSize + 1> table{};
    for (std::int32_t i = 0; i <= Quarter; ++i) {
        const std::int64_t s = QuarterSineQ30(HalfPiQ30 * i / Quarter);
        const auto v = static_cast<std::int32_t>((s * FullScale + (std::int64_t{1} << 29)) >> 30);
        table[static_cast<std::size_t>(i)] = v;                             // 0 .. pi/2
        table[static_cast<std::size_t>(2 * Quarter - i)] = v;               // pi/2 .. pi
        table[static_cast<std::size_t>(2 * Quarter + i)] = -v;              // pi .. 3pi/2
        table[static_cast<std::size_t>((4 * Quarter - i) % SineSize)] = -v; // 3pi/2 .. 2pi
    }
    table[0] = 0;
    table[SineSize] = 0;
    return table;
}

constexpr auto SineTable = MakeSineTable();

// A sine at a 32-bit phase (a full turn is 2^32), in Q15, linearly interpolated.
std::int32_t Sine(std::uint32_t phase)
{
    const std::uint32_t index = phase >> (32 - SineBits);
    const auto fraction = static_cast<std::int32_t>((phase >> (32 - SineBits - 16)) & 0xFFFF);
    const std::int32_t a = SineTable[index];
    const std::int32_t b = SineTable[index + 1];
    return a + ((b - a) * fraction >> 16);
}

// Phase increment per sample of MIDI note n (A4 = 69 = 440 Hz), from an equal-tempered octave in Q16.
std::uint32_t NoteIncrement(int note)
{
    static constexpr std::array<std::uint32_t, 12> Semitone = {65536, 69433, 73562,  77936,  82570,  87480,
                                                               92682, 98193, 104032, 110218, 116772, 123715};
    constexpr std::uint64_t A4 = (std::uint64_t{440} << 32) / SampleRate;
    const int steps = note - 69;
    const int octave = steps >= 0 ? steps / 12 : -((11 - steps) / 12);
    const int semitone = steps - 12 * octave;
    std::uint64_t inc = A4 * Semitone[static_cast<std::size_t>(semitone)] >> 16;
    inc = octave >= 0 ? inc << octave : inc >> -octave;
    return static_cast<std::uint32_t>(inc);
}

// ---------------------------------------------------------------------------
// Instruments: a few partials and an envelope

struct Instrument {
    // Partial weights (summing to at most 256) and frequency ratios in Q8 (256 = the fundamental).
    std::array<std::int32_t, 4> weights;
    std::array<std::int32_t, 4> ratios;
    std::int32_t attackMs;
    std::int32_t halfLifeMs; // 0: sustained at `sustain`; else decays by half every halfLifeMs
    std::int32_t sustain;    // Q12
    std::int32_t releaseMs;
};

constexpr Instrument Flute{{200, 40, 16, 0}, {256, 512, 768, 1024}, 45, 0, 3500, 70};
constexpr Instrument Marimba{{210, 46, 0, 0}, {256, 1006, 0, 0}, 3, 140, 0, 30};
constexpr Instrument Organ{{128, 72, 40, 16}, {256, 512, 768, 1024}, 15, 0, 3600, 45};
constexpr Instrument Strings{{150, 60, 30, 16}, {256, 512, 768, 1024}, 120, 0, 3300, 160};
constexpr Instrument Pluck{{160, 64, 24, 8}, {256, 512, 768, 1024}, 4, 260, 0, 40};
constexpr Instrument Bell{{160, 60, 36, 0}, {256, 706, 1382, 0}, 2, 380, 0, 60};
constexpr Instrument Bass{{180, 56, 20, 0}, {256, 512, 768, 0}, 8, 520, 0, 40};
constexpr Instrument Pad{{200, 40, 16, 0}, {256, 512, 768, 0}, 0, 0, 4096, 0};

constexpr std::int32_t Ms(std::int32_t ms)
{
    return ms * SampleRate / 1000;
}

// 4096 halved every `half` samples, linear between the halvings.
std::int32_t Decay(std::int32_t t, std::int32_t half)
{
    const std::int32_t k = t / half;
    if (k >= 12) {
        return 0;
    }
    const std::int32_t hi = 4096 >> k;
    const std::int32_t lo = 4096 >> (k + 1);
    return hi - (hi - lo) * (t % half) / half;
}

// Envelope (Q12) at sample t of a note lasting `duration` samples; always 0 at the note's end.
std::int32_t Envelope(const Instrument& in, std::int32_t t, std::int32_t duration)
{
    const std::int32_t attack = std::min(Ms(in.attackMs), duration / 2);
    const std::int32_t peak = in.halfLifeMs > 0 ? 4096 : in.sustain;
    std::int32_t level = peak;
    if (t < attack) {
        level = peak * t / attack;
    } else if (in.halfLifeMs > 0) {
        level = Decay(t - attack, Ms(in.halfLifeMs));
    }
    const std::int32_t release = std::max<std::int32_t>(1, std::min(Ms(in.releaseMs), duration / 2));
    if (t > duration - release) {
        level = level * (duration - t) / release;
    }
    return level;
}

// The instrument's waveform (Q15) at sample t of a note.
std::int32_t Tone(const Instrument& in, std::uint32_t increment, std::int32_t t)
{
    std::int32_t sum = 0;
    for (std::size_t p = 0; p < in.weights.size(); ++p) {
        if (in.weights[p] == 0) {
            continue;
        }
        const std::uint64_t partial =
            std::uint64_t{increment} * static_cast<std::uint32_t>(in.ratios[p]) >> 8;
        sum += in.weights[p] * Sine(static_cast<std::uint32_t>(partial * static_cast<std::uint32_t>(t)));
    }
    return sum >> 8;
}

// A voice's contribution: waveform x envelope x level, all scaled back to Q15.
std::int32_t Voice(const Instrument& in, int note, std::int32_t t, std::int32_t duration, std::int32_t level)
{
    const std::int32_t env = Envelope(in, t, duration);
    if (env == 0) {
        return 0;
    }
    return (Tone(in, NoteIncrement(note), t) * env >> 12) * level >> 12;
}

std::uint32_t Hash(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// ---------------------------------------------------------------------------
// The songs

// Voice levels in Q12 of full scale. Their sum stays below 4096, so the mix cannot clip.
constexpr std::int32_t LeadLevel = 1200;
constexpr std::int32_t BassLevel = 1050;
constexpr std::int32_t PadLevel = 280; // each of three chord notes
constexpr std::int32_t HatLevel = 130;
static_assert(LeadLevel + BassLevel + 3 * PadLevel + HatLevel < 4096 * 9 / 10, "the mix must not clip");

constexpr std::array<int, 7> Major = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<int, 7> Minor = {0, 2, 3, 5, 7, 8, 10};
constexpr std::array<int, 7> Dorian = {0, 2, 3, 5, 7, 9, 10};

constexpr int Rest = -100;
constexpr int Hold = -99;
constexpr std::int32_t SlotsPerBar = 8; // eighth notes
constexpr std::int32_t BarsPerPhrase = 4;
constexpr std::int32_t SlotsPerPhrase = SlotsPerBar * BarsPerPhrase;
// Sections of a 16-bar chorus: A A B A.
constexpr std::array<int, 4> Form = {0, 0, 1, 0};

struct SongSpec {
    const char* title; // UTF-8 here; recorded as ISO 8859-1
    const char* performer;
    const char* isrc;
    std::uint8_t control;
    std::int32_t seconds;
    int root; // MIDI note of the tonic in the pad's octave
    const std::array<int, 7>* scale;
    std::int32_t bpm;
    std::array<int, 4> progression; // chord roots as scale degrees, one per bar
    std::array<int, 4> bassLine;    // per beat, in scale degrees above the chord root
    const Instrument* lead;
    bool hats;
    std::uint32_t seed;
    int busyness; // 0 (calm, long notes) .. 3 (busy)
};

// One song a row. Track 3 only carries the pre-emphasis flag (its audio is made like the
// others'), so that the flag can be shown and tested.
// clang-format off
constexpr std::array<SongSpec, 6> Songs = {{
    {"Café au Lait", "Les Synthés de Tolvane", "ZZTLV2400001", control::CopyPermitted, 30, 60, &Major, 96,
     {0, 4, 5, 3}, {0, 0, 4, 0}, &Flute, false, 0x51u, 1},
    {"Señal del Mar", "Orquesta Mañana", "ZZTLV2400002", 0, 29, 57, &Minor, 112,
     {0, 5, 2, 6}, {0, 4, 7, 4}, &Marimba, true, 0x2Au, 3},
    {"Ærø Harbour Lights", "Trio Ærøskøbing", "ZZTLV2400003", control::PreEmphasis, 32, 55, &Major, 84,
     {0, 3, 5, 4}, {0, 0, 4, 4}, &Organ, false, 0x93u, 1},
    {"Über die Hügel", "Kammerensemble Süd", "ZZTLV2400004", control::CopyPermitted, 31, 53, &Major, 72,
     {0, 5, 1, 4}, {0, 4, 0, 4}, &Strings, false, 0x17u, 0},
    {"Rêverie Boréale", "Élodie et les Synthés", "ZZTLV2400005", 0, 28, 52, &Dorian, 104,
     {0, 3, 0, 6}, {0, 7, 4, 7}, &Pluck, true, 0xC4u, 2},
    {"Smörgåsbord Finale", "Ensemble Façade", "ZZTLV2400006", control::CopyPermitted, 30, 62, &Major, 126,
     {0, 4, 3, 4}, {0, 4, 7, 4}, &Bell, true, 0x6Eu, 2},
}};
// clang-format on

constexpr const char* DiscTitle = "Tolvane Demo";
constexpr const char* DiscPerformer = "Les Synthés de Tolvane";
// Restricted-circulation EAN-13 prefix 2, so it can belong to no real product.
constexpr const char* DemoMcn = "2000000123455";
constexpr std::int32_t Track2Pregap = 2 * SectorsPerSecond;

// Two-byte UTF-8 sequences (U+0080 to U+00FF) to their ISO 8859-1 byte.
std::string Latin1(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            out.push_back(static_cast<char>((c & 0x1F) << 6 | (next & 0x3F)));
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

int ScaleSemitones(const std::array<int, 7>& scale, int degree)
{
    const int octave = degree >= 0 ? degree / 7 : -((6 - degree) / 7);
    return 12 * octave + scale[static_cast<std::size_t>(degree - 7 * octave)];
}

// A song ready to play: its spec and its two composed phrases.
class Song {
public:
    explicit Song(const SongSpec& spec)
        : spec_(spec), beat_(SampleRate * 60 / spec.bpm), eighth_(beat_ / 2),
          length_(spec.seconds * SectorsPerSecond * SamplesPerSector)
    {
        std::uint32_t state = spec.seed;
        Compose(0, state);
        Compose(1, state);
    }

    std::int32_t Sectors() const { return spec_.seconds * SectorsPerSecond; }

    // 588 stereo samples of sector `sector` of the track, as 16-bit little-endian.
    void Render(std::int64_t sector, std::span<std::uint8_t> out) const
    {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        const std::size_t frames = std::min<std::size_t>(SamplesPerSector, out.size() / 4);
        for (std::size_t i = 0; i < frames; ++i) {
            const std::int64_t s = sector * SamplesPerSector + static_cast<std::int64_t>(i);
            if (s < 0 || s >= length_) {
                continue;
            }
            std::int32_t left = 0;
            std::int32_t right = 0;
            Mix(static_cast<std::int32_t>(s), left, right);
            PutLe16(out, i * 4, static_cast<std::uint16_t>(static_cast<std::int16_t>(left)));
            PutLe16(out, i * 4 + 2, static_cast<std::uint16_t>(static_cast<std::int16_t>(right)));
        }
    }

private:
    // Composes phrase `section` (4 bars of eighth-note slots) by a seeded walk over
    // the scale that lands on chord tones on the strong beats.
    void Compose(int section, std::uint32_t& state)
    {
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return state >> 8;
        };
        int previous = 4;
        for (int bar = 0; bar < BarsPerPhrase; ++bar) {
            const int chord = spec_.progression[static_cast<std::size_t>(bar)];
            for (int slot = 0; slot < SlotsPerBar; ++slot) {
                const std::uint32_t r = next();
                const bool last = bar == BarsPerPhrase - 1 && slot >= 4; // a long closing note
                int value;
                if (slot == 0 || (slot == 4 && !last)) {
                    value = NearestChordTone(chord, previous + static_cast<int>(r % 3) - 1);
                } else if (last || static_cast<int>(r % 8) >= 3 + 2 * spec_.busyness) {
                    value = Hold;
                } else if (r % 16 == 1) {
                    value = Rest;
                } else {
                    static constexpr std::array<int, 6> Steps = {-2, -1, -1, 1, 1, 2};
                    value = std::clamp(previous + Steps[(r >> 4) % Steps.size()], -2, 9);
                }
                if (value != Hold && value != Rest) {
                    previous = value;
                }
                phrases_[static_cast<std::size_t>(section)]
                        [static_cast<std::size_t>(bar * SlotsPerBar + slot)] = value;
            }
        }
        if (section == 1) {
            // The B phrase closes on the tonic above, before the last A.
            phrases_[1][3 * SlotsPerBar] = NearestChordTone(spec_.progression[3], 7);
        }
    }

    int NearestChordTone(int chord, int near) const
    {
        int best = chord;
        for (int octave = -1; octave <= 2; ++octave) {
            for (int third = 0; third < 3; ++third) {
                const int degree = chord + 2 * third + 7 * octave;
                if (std::abs(degree - near) < std::abs(best - near)) {
                    best = degree;
                }
            }
        }
        return std::clamp(best, -2, 9);
    }

    int Note(int degree) const { return spec_.root + ScaleSemitones(*spec_.scale, degree); }

    void Mix(std::int32_t s, std::int32_t& left, std::int32_t& right) const
    {
        const std::int32_t slot = s / eighth_;
        const std::int32_t inSlot = s % eighth_;
        const std::int32_t bar = slot / SlotsPerBar;
        const std::int32_t barLength = SlotsPerBar * eighth_;
        const int chord = spec_.progression[static_cast<std::size_t>(bar % BarsPerPhrase)];

        // Lead: the A A B A phrases, with a slow pan from side to side.
        const auto& phrase = phrases_[static_cast<std::size_t>(
            Form[static_cast<std::size_t>(bar / BarsPerPhrase) % Form.size()])];
        const std::int32_t index = slot % SlotsPerPhrase;
        std::int32_t start = index;
        while (start > 0 && phrase[static_cast<std::size_t>(start)] == Hold) {
            --start;
        }
        std::int32_t end = index + 1;
        while (end < SlotsPerPhrase && phrase[static_cast<std::size_t>(end)] == Hold) {
            ++end;
        }
        const int degree = phrase[static_cast<std::size_t>(start)];
        std::int32_t lead = 0;
        if (degree != Rest) {
            const std::int32_t t = (index - start) * eighth_ + inSlot;
            lead = Voice(*spec_.lead, Note(degree) + 12, t, (end - start) * eighth_, LeadLevel);
        }
        const std::uint32_t lfo = static_cast<std::uint32_t>(s) * 12174u; // one turn in 8 seconds
        const std::int32_t pan = 128 + (48 * Sine(lfo) >> 15);            // 80 .. 176 of 256
        left += lead * std::min<std::int32_t>(256, 2 * (256 - pan)) >> 8;
        right += lead * std::min<std::int32_t>(256, 2 * pan) >> 8;

        // Bass: one plucked note a beat, in the middle.
        const std::int32_t beat = s / beat_;
        const int bassDegree = chord + spec_.bassLine[static_cast<std::size_t>(beat % 4)];
        const int bassNote = Note(bassDegree) - (spec_.root < 58 ? 12 : 24);
        const std::int32_t bass = Voice(Bass, bassNote, s % beat_, beat_, BassLevel);
        left += bass;
        right += bass;

        // Pad: the chord for the bar, its three notes spread left, centre, right.
        const std::int32_t inBar = s % barLength;
        static constexpr std::array<std::int32_t, 3> PadLeft = {230, 181, 100};
        static constexpr std::array<std::int32_t, 3> PadRight = {100, 181, 230};
        for (std::size_t k = 0; k < 3; ++k) {
            const int note = Note(chord + 2 * static_cast<int>(k));
            const std::int32_t tone = Tone(Pad, NoteIncrement(note), inBar);
            const std::int32_t v = (tone * PadEnvelope(inBar, barLength) >> 12) * PadLevel >> 12;
            left += v * PadLeft[k] >> 8;
            right += v * PadRight[k] >> 8;
        }

        // Hats: a short noise burst on each eighth, louder off the beat, a little to the right.
        if (spec_.hats && inSlot < Ms(40)) {
            const std::uint32_t random = Hash(spec_.seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(s));
            const auto noise = static_cast<std::int32_t>(random >> 16) - 32768; // Q15
            const std::int32_t level = (slot % 2 == 1 ? HatLevel : HatLevel / 2) * Decay(inSlot, Ms(6)) >> 12;
            const std::int32_t hat = noise * level >> 12;
            left += hat * 180 >> 8;
            right += hat;
        }

        // A short fade at each end of the track.
        const std::int32_t fadeIn = Ms(300);
        const std::int32_t fadeOut = Ms(2500);
        std::int32_t gain = 4096;
        if (s < fadeIn) {
            gain = 4096 * s / fadeIn;
        } else if (length_ - s < fadeOut) {
            gain = static_cast<std::int32_t>(std::int64_t{4096} * (length_ - s) / fadeOut);
        }
        left = left * gain >> 12;
        right = right * gain >> 12;
    }

    // Swells in over the first eighth of the bar and out over the last.
    static std::int32_t PadEnvelope(std::int32_t t, std::int32_t bar)
    {
        const std::int32_t edge = bar / 8;
        if (t < edge) {
            return 4096 * t / edge;
        }
        if (bar - t < edge) {
            return 4096 * (bar - t) / edge;
        }
        return 4096;
    }

    SongSpec spec_;
    std::int32_t beat_;   // samples per beat
    std::int32_t eighth_; // samples per eighth note
    std::int64_t length_; // samples in the track
    std::array<std::array<int, SlotsPerPhrase>, 2> phrases_{};
};

// ---------------------------------------------------------------------------
// The DVD's ISO 9660 volume

constexpr std::int32_t DvdCapacity = 4000000; // beyond one layer: dual layer
static_assert(DvdCapacity > DvdLayerBlocks);
constexpr std::size_t BlockSize = 2048;
constexpr std::uint32_t RootSize = 2048; // the root directory fills one block

// Blocks of the volume; every other block reads as zeros.
constexpr std::int32_t PvdBlock = 16;
constexpr std::int32_t TerminatorBlock = 17;
constexpr std::int32_t LPathTableBlock = 18;
constexpr std::int32_t MPathTableBlock = 19;
constexpr std::int32_t RootBlock = 20;
constexpr std::int32_t FirstFileBlock = 21;

// 2024-03-21 09:30:00 at UTC+1 (the offset counts quarter hours).
constexpr const char* CreationDate = "2024032109300000";
constexpr const char* ExpirationDate = "2074032109300000";
constexpr std::uint8_t ZoneOffset = 4;
constexpr std::array<std::uint8_t, 7> RecordDate = {124, 3, 21, 9, 30, 0, ZoneOffset}; // years since 1900

struct VolumeFile {
    const char* identifier; // with its version
    std::string text;
};

std::vector<VolumeFile> VolumeFiles()
{
    // Sorted by identifier, as directory records must be.
    return {
        {"BIBLIO.TXT;1", "Tolvane demo disc. Brevantis, 2024.\r\n"},
        {"COPYRGHT.TXT;1", "The contents of this demo volume were generated by Tolvane and may be copied "
                           "freely.\r\n"},
        {"README.TXT;1",
         "TOLVANE DEMO DVD\r\n"
         "\r\n"
         "This is the demo DVD-ROM of Tolvane's virtual drive: a dual-layer disc for region 2,\r\n"
         "generated by the program itself, so that its disc information can be shown without\r\n"
         "a drive. Its ISO 9660 volume holds this file and two short notes; every other block\r\n"
         "of its 4,000,000 reads as zeros.\r\n"},
    };
}

void PutText(Bytes block, std::size_t offset, std::size_t size, std::string_view text)
{
    for (std::size_t i = 0; i < size; ++i) {
        block[offset + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

void PutBoth16(Bytes block, std::size_t offset, std::uint16_t v)
{
    PutLe16(block, offset, v);
    PutBe16(block, offset + 2, v);
}

void PutBoth32(Bytes block, std::size_t offset, std::uint32_t v)
{
    PutLe32(block, offset, v);
    PutBe32(block, offset + 4, v);
}

void PutDate(Bytes block, std::size_t offset, std::string_view digits)
{
    PutText(block, offset, 16, digits);
    block[offset + 16] = ZoneOffset;
}

// A directory record; returns its length.
std::size_t PutDirectoryRecord(Bytes block, std::size_t offset, std::string_view identifier,
                               std::uint32_t extent, std::uint32_t size, bool directory)
{
    const std::size_t length = 33 + identifier.size() + (identifier.size() % 2 == 0 ? 1 : 0);
    block[offset] = static_cast<std::uint8_t>(length);
    block[offset + 1] = 0; // no extended attribute record
    PutBoth32(block, offset + 2, extent);
    PutBoth32(block, offset + 10, size);
    std::copy(RecordDate.begin(), RecordDate.end(), block.begin() + static_cast<std::ptrdiff_t>(offset + 18));
    block[offset + 25] = directory ? 0x02 : 0x00; // file flags
    block[offset + 26] = 0;                       // file unit size (not interleaved)
    block[offset + 27] = 0;                       // interleave gap
    PutBoth16(block, offset + 28, 1);             // volume sequence number
    block[offset + 32] = static_cast<std::uint8_t>(identifier.size());
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        block[offset + 33 + i] = static_cast<std::uint8_t>(identifier[i]);
    }
    return length;
}

constexpr std::uint32_t PathTableSize = 10; // the root's entry alone

void PutPathTable(Bytes block, bool bigEndian)
{
    block[0] = 1; // length of the directory identifier
    block[1] = 0; // extended attribute record length
    if (bigEndian) {
        PutBe32(block, 2, RootBlock);
        PutBe16(block, 6, 1); // parent directory number: the root is its own parent
    } else {
        PutLe32(block, 2, RootBlock);
        PutLe16(block, 6, 1);
    }
    block[8] = 0; // the root's identifier, then a padding byte
}

// Blocks 0 to FirstFileBlock + files: the system area, descriptors, path tables, root and files.
std::vector<std::uint8_t> BuildVolume()
{
    const std::vector<VolumeFile> files = VolumeFiles();
    const std::size_t blocks = static_cast<std::size_t>(FirstFileBlock) + files.size();
    std::vector<std::uint8_t> volume(blocks * BlockSize, 0);
    auto block = [&volume](std::int32_t n) {
        return Bytes(volume).subspan(static_cast<std::size_t>(n) * BlockSize, BlockSize);
    };

    // Primary volume descriptor.
    Bytes pvd = block(PvdBlock);
    pvd[0] = 1; // type: primary
    PutText(pvd, 1, 5, "CD001");
    pvd[6] = 1; // version
    PutText(pvd, 8, 32, "TOLVANE");
    PutText(pvd, 40, 32, "TOLVANE_DEMO_DVD");
    PutBoth32(pvd, 80, DvdCapacity); // volume space size
    PutBoth16(pvd, 120, 1);          // volume set size
    PutBoth16(pvd, 124, 1);          // volume sequence number
    PutBoth16(pvd, 128, 2048);       // logical block size
    PutBoth32(pvd, 132, PathTableSize);
    PutLe32(pvd, 140, LPathTableBlock);
    PutLe32(pvd, 144, 0); // no optional type L path table
    PutBe32(pvd, 148, MPathTableBlock);
    PutBe32(pvd, 152, 0); // no optional type M path table
    PutDirectoryRecord(pvd, 156, std::string_view("\0", 1), RootBlock, RootSize, true);
    PutText(pvd, 190, 128, "TOLVANE_DEMO");
    PutText(pvd, 318, 128, "BREVANTIS");
    PutText(pvd, 446, 128, "TOLVANE VIRTUAL DRIVE");
    PutText(pvd, 574, 128, "TOLVANE DEMO DISC GENERATOR");
    PutText(pvd, 702, 37, files[1].identifier); // copyright
    PutText(pvd, 739, 37, files[2].identifier); // abstract
    PutText(pvd, 776, 37, files[0].identifier); // bibliographic
    PutDate(pvd, 813, CreationDate);
    PutDate(pvd, 830, CreationDate); // modified when created
    PutDate(pvd, 847, ExpirationDate);
    PutDate(pvd, 864, CreationDate); // effective at once
    pvd[881] = 1;                    // file structure version

    // Volume descriptor set terminator.
    Bytes terminator = block(TerminatorBlock);
    terminator[0] = 255;
    PutText(terminator, 1, 5, "CD001");
    terminator[6] = 1;

    PutPathTable(block(LPathTableBlock), false);
    PutPathTable(block(MPathTableBlock), true);

    // The root directory: itself, its parent (itself), then the files.
    Bytes root = block(RootBlock);
    std::size_t offset = 0;
    offset += PutDirectoryRecord(root, offset, std::string_view("\0", 1), RootBlock, RootSize, true);
    offset += PutDirectoryRecord(root, offset, std::string_view("\1", 1), RootBlock, RootSize, true);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto where = static_cast<std::int32_t>(FirstFileBlock + static_cast<std::int32_t>(i));
        offset += PutDirectoryRecord(root, offset, files[i].identifier, static_cast<std::uint32_t>(where),
                                     static_cast<std::uint32_t>(files[i].text.size()), false);
        Bytes content = block(where);
        std::copy(files[i].text.begin(), files[i].text.end(), content.begin());
    }
    return volume;
}

} // namespace

std::shared_ptr<const Disc> MakeDemoCd()
{
    auto disc = std::make_shared<Disc>();
    disc->name = DiscTitle;
    disc->media = MediaKind::PressedCd;
    disc->status = DiscStatus::Complete;
    disc->mcn = DemoMcn;

    CdTextBlock text;
    text.language = 0x09; // English
    text.characterCode = cdtext::CharsetLatin1;
    text.texts[cdtext::Title].push_back(DiscTitle);
    text.texts[cdtext::Performer].push_back(Latin1(DiscPerformer));
    text.texts[cdtext::UpcIsrc].push_back(DemoMcn);

    std::int32_t lba = 0;
    const auto zeros = std::make_shared<ZeroSource>();
    for (std::size_t i = 0; i < Songs.size(); ++i) {
        const SongSpec& spec = Songs[i];
        Track track;
        track.number = static_cast<std::uint8_t>(i + 1);
        track.session = 1;
        track.mode = TrackMode::Audio;
        track.control = spec.control;
        track.isrc = spec.isrc;
        track.pregapStart = lba;
        if (track.number == 2) {
            disc->extents.push_back(Extent{lba, Track2Pregap, SectorFormat::Audio, zeros, 0});
            lba += Track2Pregap;
        }
        track.start = lba;

        auto song = std::make_shared<const Song>(spec);
        const std::int32_t length = song->Sectors();
        auto source = std::make_shared<GeneratedSource>(
            [song](std::int64_t sector, std::span<std::uint8_t> out) { song->Render(sector, out); });
        disc->extents.push_back(Extent{lba, length, SectorFormat::Audio, std::move(source), 0});
        lba += length;
        track.end = lba;
        if (!disc->tracks.empty()) {
            disc->tracks.back().end = track.pregapStart;
        }
        disc->tracks.push_back(track);

        text.texts[cdtext::Title].push_back(Latin1(spec.title));
        text.texts[cdtext::Performer].push_back(Latin1(spec.performer));
        text.texts[cdtext::UpcIsrc].push_back(spec.isrc);
    }
    disc->cdText.push_back(std::move(text));
    disc->sessions.push_back(Session{1, lba, 0x00});
    disc->capacity = lba;
    return disc;
}

std::shared_ptr<const Disc> MakeDemoDvd()
{
    auto disc = std::make_shared<Disc>();
    disc->name = "Tolvane Demo DVD";
    disc->media = MediaKind::DvdRom;
    disc->status = DiscStatus::Complete;
    disc->layers = 2;
    disc->regions = 0x02; // region 2 only
    disc->capacity = DvdCapacity;

    Track track;
    track.number = 1;
    track.session = 1;
    track.mode = TrackMode::Mode1;
    track.control = control::Data;
    track.pregapStart = 0;
    track.start = 0;
    track.end = DvdCapacity;
    disc->tracks.push_back(track);
    disc->sessions.push_back(Session{1, DvdCapacity, 0x00});

    auto volume = std::make_shared<const std::vector<std::uint8_t>>(BuildVolume());
    auto source = std::make_shared<GeneratedSource>([volume](std::int64_t sector,
                                                             std::span<std::uint8_t> out) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        const std::int64_t blocks = static_cast<std::int64_t>(volume->size() / BlockSize);
        if (sector >= 0 && sector < blocks) {
            const auto from = volume->begin() + static_cast<std::ptrdiff_t>(sector * std::int64_t{BlockSize});
            std::copy(from, from + static_cast<std::ptrdiff_t>(std::min(out.size(), BlockSize)), out.begin());
        }
    });
    disc->extents.push_back(Extent{0, DvdCapacity, SectorFormat::Mode1Data, std::move(source), 0});
    return disc;
}

} // namespace tolvane::emulator
