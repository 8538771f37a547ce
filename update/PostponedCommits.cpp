#include "update/PostponedCommits.h"

#include <cstdint>

namespace PostponedCommitRule {

Outcome Postponed(const PostponedCommits& before, int64_t today) {
    Outcome outcome{before, false};
    PostponedCommits& record = outcome.record;
    if (record.launches < UINT32_MAX) ++record.launches;
    outcome.tellUser = record.launches > kQuietLaunches && record.toldOnDay != today;
    if (outcome.tellUser) record.toldOnDay = today;
    return outcome;
}

std::wstring Format(const PostponedCommits& record) {
    return std::to_wstring(record.launches) + L" " +
           (record.toldOnDay ? std::to_wstring(*record.toldOnDay) : std::wstring(L"-")) + L"\n";
}

namespace {

std::optional<uint64_t> Digits(std::wstring_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return value;
}

}  // namespace

PostponedCommits Parse(std::wstring_view text) {
    if (text.empty() || text.back() != L'\n') return {};
    text.remove_suffix(1);
    const size_t space = text.find(L' ');
    if (space == std::wstring_view::npos) return {};
    const auto launches = Digits(text.substr(0, space));
    const std::wstring_view day = text.substr(space + 1);
    const auto toldOnDay = Digits(day);
    if (!launches || *launches > UINT32_MAX || (day != L"-" && !toldOnDay)) return {};
    PostponedCommits record{static_cast<unsigned>(*launches), std::nullopt};
    if (toldOnDay) record.toldOnDay = static_cast<int64_t>(*toldOnDay);
    return record;
}

}  // namespace PostponedCommitRule
