// Decoding the answers a disc read decodes once per disc, at their largest:
// a TOC of 99 tracks and a full CD-Text answer.
#include "BenchSupport.h"

#include "disc/Decoders.h"
#include "util/ByteOrder.h"
#include "util/CdText.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tolvane::bench {
namespace {

// READ TOC format 0 of a disc of 99 tracks: 4 header bytes, 99 track descriptors and the lead-out.
std::vector<std::uint8_t> TocAnswer99()
{
    std::vector<std::uint8_t> answer(4 + 100 * 8);
    PutBe16(answer, 0, static_cast<std::uint16_t>(answer.size() - 2)); // data length
    answer[2] = 1;                                                       // first track
    answer[3] = 99;                                                      // last track
    for (std::size_t i = 0; i < 100; ++i) {
        const std::size_t d = 4 + i * 8;
        answer[d + 1] = 0x10;                                             // ADR 1, audio
        answer[d + 2] = i < 99 ? static_cast<std::uint8_t>(i + 1) : 0xAA; // track number or lead-out
        PutBe32(answer, d + 4, static_cast<std::uint32_t>(i * 3300));     // start, 44 seconds apart
    }
    return answer;
}

void BM_DecodeToc99(benchmark::State& state)
{
    const std::vector<std::uint8_t> answer = TocAnswer99();
    for (auto _ : state) {
        auto toc = decode::DecodeToc(answer);
        benchmark::DoNotOptimize(toc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_DecodeToc99);

// A language block of every text a pressed disc carries, for 15 tracks; the
// disc's message is `messageLength` characters long.
std::vector<cdtext::Block> RichBlocks(std::size_t messageLength)
{
    cdtext::Block block;
    block.language = 0x09; // English
    block.texts[cdtext::Title].push_back("Music for Measuring Machines");
    block.texts[cdtext::Performer].push_back("The Benchmark Ensemble");
    block.texts[cdtext::Songwriter].push_back("Various Songwriters");
    block.texts[cdtext::Composer].push_back("Various Composers");
    block.texts[cdtext::Arranger].push_back("A. Ranger");
    block.texts[cdtext::Message].push_back(std::string(messageLength, 'm'));
    block.texts[cdtext::DiscId].push_back("TLV-0001");
    block.texts[cdtext::UpcIsrc].push_back("0123456789012");
    block.genreCode = 0x0007;
    block.genreText = "Instrumental";
    for (int t = 1; t <= 15; ++t) {
        const std::string n = std::to_string(t);
        block.texts[cdtext::Title].push_back("Movement " + n);
        block.texts[cdtext::Performer].push_back("Player " + n);
        block.texts[cdtext::Songwriter].push_back("Writer " + n);
        block.texts[cdtext::Composer].push_back("Composer " + n);
        block.texts[cdtext::Arranger].push_back(t % 2 ? "Arr. Odd" : "Arr. Even");
        block.texts[cdtext::UpcIsrc].push_back("XXTLV0000" + std::string(3 - n.size(), '0') + n);
    }
    return {block};
}

// The packs of a full READ TOC format 5 answer of 1,804 bytes: 100 packs, 1,800 bytes.
std::vector<std::uint8_t> FullCdTextPacks()
{
    constexpr std::size_t Wanted = 1800;
    for (std::size_t message = 0; message < 1000; ++message) {
        std::vector<std::uint8_t> packs = cdtext::Encode(RichBlocks(message), 1, 15);
        if (packs.size() == Wanted) {
            return packs;
        }
        if (packs.size() > Wanted) {
            break;
        }
    }
    std::fprintf(stderr, "cannot encode CD-Text of exactly %zu bytes\n", Wanted);
    std::exit(1);
}

void BM_DecodeCdText1800(benchmark::State& state)
{
    const std::vector<std::uint8_t> packs = FullCdTextPacks();
    const cdtext::Decoded check = cdtext::Decode(packs);
    if (check.blocks.size() != 1 || check.badCrcPacks != 0 || check.lastTrack != 15) {
        state.SkipWithError("the encoded packs do not decode to the blocks they came from");
        return;
    }
    for (auto _ : state) {
        auto decoded = cdtext::Decode(packs);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(packs.size()));
}
BENCHMARK(BM_DecodeCdText1800);

} // namespace
} // namespace tolvane::bench
