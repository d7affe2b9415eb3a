#include "emulator/Behaviour.h"

#include <charconv>

namespace tolvane::emulator {
namespace {

bool ParseInt(std::string_view text, long long& value)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

bool ParseSwitch(std::string_view text, bool& value)
{
    if (text.empty() || text == "on" || text == "yes") {
        value = true;
    } else if (text == "off" || text == "no") {
        value = false;
    } else {
        return false;
    }
    return true;
}

} // namespace

bool ParseReadModel(std::string_view text, ReadModel& model, std::string& error)
{
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view item = text.substr(0, comma);
        text.remove_prefix(std::min(comma + 1, text.size()));
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? "" : item.substr(equals + 1);
        long long number = 0;
        bool ok = true;
        if (key == "offset") {
            ok = ParseInt(value, number) && number >= -100 * 588 && number <= 100 * 588;
            model.offset = static_cast<int>(number);
        } else if (key == "cache") {
            ok = ParseInt(value, number) && number >= 0 && number <= 100000;
            model.cacheSectors = static_cast<std::int32_t>(number);
        } else if (key == "c2") {
            ok = ParseSwitch(value, model.c2);
        } else if (key == "overread") {
            ok = ParseSwitch(value, model.overread);
        } else {
            error = "unknown setting \"" + std::string(key) + "\" (offset, c2, cache, overread)";
            return false;
        }
        if (!ok) {
            error = "\"" + std::string(item) +
                    "\" is not a setting such as offset=+6, c2=off, cache=1024 or overread";
            return false;
        }
    }
    return true;
}

bool ParseDamage(std::string_view text, DamageRange& range, std::string& error)
{
    error =
        "\"" + std::string(text) + "\" is not LBA[+COUNT][:KIND], KIND vary, same, unflagged, fails or lost";
    const std::size_t colon = std::min(text.find(':'), text.size());
    const std::string_view kind = colon < text.size() ? text.substr(colon + 1) : "vary";
    const std::string_view where = text.substr(0, colon);
    const std::size_t plus = std::min(where.find('+'), where.size());
    long long first = 0;
    long long count = 1;
    if (!ParseInt(where.substr(0, plus), first) || first < 0 || first > 10'000'000 ||
        (plus < where.size() && (!ParseInt(where.substr(plus + 1), count) || count < 1 || count > 100'000))) {
        return false;
    }
    Damage damage;
    if (kind == "same") {
        damage.sameWrong = true;
    } else if (kind == "unflagged") {
        damage.flagged = false;
    } else if (kind == "fails") {
        damage.fails = true;
    } else if (kind == "lost") {
        damage.readsRight = 0;
    } else if (kind != "vary") {
        return false;
    }
    range = {static_cast<std::int32_t>(first), static_cast<std::int32_t>(count), damage};
    error.clear();
    return true;
}

} // namespace tolvane::emulator
