#pragma once

#include <atomic>
#include <mutex>

// The changes a run makes to installed files outside its commit (the recovery of an unfinished
// commit, the registration of DLLs already in place) against a stop: once the stop flag is
// set no change begins, and a stop can learn whether one is still under way, to wait for it.
class CInstalledFileChanges {
public:
    explicit CInstalledFileChanges(const std::atomic<bool>& stopped) : stopped(stopped) {}
    CInstalledFileChanges(const CInstalledFileChanges&) = delete;
    CInstalledFileChanges& operator=(const CInstalledFileChanges&) = delete;

    // True while a change is under way. Asked after the stop flag was set, a false answer
    // holds for the rest of the run.
    bool UnderWay() const;

    // One change for its scope; Entered is false when the run was stopped first.
    class Scope {
    public:
        explicit Scope(CInstalledFileChanges& changes);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        bool Entered() const { return entered; }

    private:
        CInstalledFileChanges& changes;
        bool entered;
    };

private:
    const std::atomic<bool>& stopped;
    mutable std::mutex lock;
    unsigned active = 0;
};
