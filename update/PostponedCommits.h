#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How many launches in a row a busy target postponed the commit, and the day (a count of local
// days) the user was last told; kept in the run's work folder between launches.
struct PostponedCommits {
    unsigned launches = 0;
    std::optional<int64_t> toldOnDay;

    bool operator==(const PostponedCommits&) const = default;
};

namespace PostponedCommitRule {

// Postponements that pass without a word; the next ones tell the user, once a day at most.
inline constexpr unsigned kQuietLaunches = 5;

struct Outcome {
    PostponedCommits record;
    bool tellUser = false;
};

// One more launch postponed the commit on the given day.
Outcome Postponed(const PostponedCommits& before, int64_t today);

// "<launches> <day or ->"; text that is not such a line reads as no postponement yet.
std::wstring Format(const PostponedCommits& record);
PostponedCommits Parse(std::wstring_view text);

}  // namespace PostponedCommitRule
