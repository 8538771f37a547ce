#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "update/CInstalledFileChanges.h"
#include "update/CRunLock.h"
#include "update/UpdatePlan.h"

// The place of one update run: the install folder's work folder (parts, staged files, the
// commit journal), the run lock that keeps every other run out of it while this one works,
// and the run's own folder for its manifest copies. Begin takes the lock and completes what an
// interrupted commit left; End gives the lock back, so that a run that waits for its user (a
// box) keeps no other launch waiting.
class CRunWorkspace {
public:
    enum class BeginResult { Ready, Busy, Stopped };
    // How long a run waits for another run's work on the same folder before it gives up.
    static constexpr DWORD kWaitMs = 30 * 1000;

    explicit CRunWorkspace(const std::wstring& installFolder);
    CRunWorkspace(const CRunWorkspace&) = delete;
    CRunWorkspace& operator=(const CRunWorkspace&) = delete;
    ~CRunWorkspace() { End(); }

    // Waits at most kWaitMs for another run, and only while cancel is not set. Nothing in the
    // install folder changes once cancel is set; a recovery under way (one of the changes)
    // finishes.
    BeginResult Begin(const std::atomic<bool>& cancel, CInstalledFileChanges& changes);
    // Takes the lock again for a later phase of the same run; nothing else.
    bool Hold(const std::atomic<bool>& cancel);
    // Gives the lock back and removes the manifest copies; safe from any thread, at any time.
    // A worker that holds the lock's keeper keeps the lock until it ends.
    void End();
    bool Held() const;
    // Shares the lock as it is now (null when not held) with a worker that may outlive the run.
    std::shared_ptr<void> LockKeeper() const;

    const std::wstring& WorkFolder() const { return workFolder; }
    std::wstring ManifestFolder() const;
    std::wstring PartsFolder() const;
    std::wstring StagedFolder() const;
    std::wstring JournalFile() const;

    void DeleteManifestCopies();
    // Staged files that the plan does not name: those of another release.
    void DiscardStagedExcept(const UpdatePlan& plan) const;
    void DiscardStaged() const;
    // Delta parts other than those of the deltas the plan chose: a part is resumed only into
    // its own delta, and another installed file or release takes another one. Package parts
    // stay for a commit to discard.
    void DiscardDeltaPartsExcept(const UpdatePlan& plan) const;
    // Once a release is committed nothing of it is fetched or staged again; the parts of other
    // releases cannot be resumed into a current install either.
    void DiscardCommitted() const;

private:
    bool Recover(CInstalledFileChanges& changes);

    std::wstring installFolder;
    std::wstring workFolder;
    mutable std::mutex lock;
    std::wstring manifestFolder;
    std::shared_ptr<CRunLock> runLock;
};
