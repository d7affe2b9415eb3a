#include "cli/Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tolvane::cli {

namespace {

std::optional<int> TrackNumber(std::string_view text)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 99) {
        return std::nullopt;
    }
    return n;
}

} // namespace

std::optional<std::vector<int>> ParseTrackList(const std::string& text)
{
    std::vector<int> tracks;
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t dash = item.find('-');
        const auto first = TrackNumber(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : TrackNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) {
            return std::nullopt;
        }
        for (int n = *first; n <= *last; ++n) {
            tracks.push_back(n);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    std::ranges::sort(tracks);
    tracks.erase(std::unique(tracks.begin(), tracks.end()), tracks.end());
    return tracks;
}

std::string NormalizeDrive(const std::string& text)
{
    if (text.empty() || text.size() > 2 || !std::isalpha(static_cast<unsigned char>(text[0])) ||
        (text.size() == 2 && text[1] != ':')) {
        return {};
    }
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))) + ":";
}

} // namespace tolvane::cli
