#pragma once

#include "pelkoweb/PelkoWebDLL.h"

// What the last start operation that returned in this process did, kept for the host's query
// (GetPelkoWebLaunchOutcome). Neither throws.
namespace LaunchOutcome {

void Record(const PelkoWebLaunchOutcome& outcome);
// False, outcome unchanged, before the first start operation returned.
bool Last(PelkoWebLaunchOutcome& outcome);

}  // namespace LaunchOutcome
