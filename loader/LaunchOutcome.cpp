#include "loader/LaunchOutcome.h"

#include <windows.h>

namespace {

// A lock that neither allocates nor throws: the host's query must not throw into it.
SRWLOCK g_lock = SRWLOCK_INIT;
bool g_recorded = false;
PelkoWebLaunchOutcome g_last{};

}  // namespace

namespace LaunchOutcome {

void Record(const PelkoWebLaunchOutcome& outcome) {
    AcquireSRWLockExclusive(&g_lock);
    g_last = outcome;
    g_recorded = true;
    ReleaseSRWLockExclusive(&g_lock);
}

bool Last(PelkoWebLaunchOutcome& outcome) {
    AcquireSRWLockShared(&g_lock);
    const bool recorded = g_recorded;
    if (recorded) outcome = g_last;
    ReleaseSRWLockShared(&g_lock);
    return recorded;
}

}  // namespace LaunchOutcome
