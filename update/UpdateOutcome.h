#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How an update run ended, as the settings file tells the loader and the host's exit code
// tells its caller. The values are the host interface's PELKOWEB_UPDATE_* numbers.
enum class UpdateResult : int {
    Current = 1,     // the install folder holds the newest release
    Updated = 2,     // the newest release was installed in this run
    Postponed = 3,   // stopped, another run busy, or a file in use: a later start goes on
    NotOffered = 4,  // a staged rollout has not reached this install yet
    Refused = 5,     // the release statement or manifest did not verify
    Failed = 6,      // the manifest or a file could not be had or installed
};

struct UpdateOutcome {
    UpdateResult result = UpdateResult::Failed;
    // The serial of the release the install folder holds; none when updates are unsigned or
    // no signed release was installed yet.
    std::optional<uint64_t> releaseSerial;

    bool operator==(const UpdateOutcome&) const = default;
};

namespace UpdateOutcomeText {

// "current", "updated", "postponed", "not-offered", "refused", "failed".
std::wstring ResultName(UpdateResult result);
// Decimal digits, or empty for none.
std::wstring SerialText(const std::optional<uint64_t>& serial);

}  // namespace UpdateOutcomeText
