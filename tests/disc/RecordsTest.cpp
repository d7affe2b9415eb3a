#include "disc/DiscFacts.h"

namespace tolvane {
namespace {

// Only the disc object may write the records; the windows and the CLI must not compile a setter call.
// clang-format off
template <typename R> concept SetsUpc = requires(R r) { r.SetUPC(std::string()); };
template <typename R> concept SetsMode = requires(R r) { r.SetMode(std::string()); };
template <typename R> concept SetsTitle = requires(R r) { r.SetTitle(std::string()); };
template <typename R> concept SetsLayers = requires(R r) { r.SetLayers(std::uint8_t{1}); };
// clang-format on
static_assert(!SetsUpc<CD> && !SetsMode<Track> && !SetsTitle<CDText> && !SetsLayers<DVD>);

TEST(Records, FreshRecordsAreEmptyZeroOrFalseAndTheDiscStatusIsOther)
{
    test::Facts f;
    test::facts_detail::AddRecords(f, CD(), DVD(), CDText());
    test::facts_detail::AddTrack(f, "track ", Track());
    for (const auto& [key, value] : f) {
        const std::string expected = key == "DiscStatus"                             ? "3"
                                     : key == "track Title" || key == "track Artist" ? "(no text record)"
                                     : value == "0" || value == "false" || value.empty()
                                         ? value
                                         : "empty, 0 or false";
        EXPECT_EQ(value, expected) << key;
    }
}

} // namespace
} // namespace tolvane
