#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/bcl/system/process/thread/CThread.h"
#include "update/CInstallLiteNotify.h"
#include "update/CLastError.h"
#include "update/CPostponedCommitRecord.h"
#include "update/CRunWorkspace.h"
#include "update/JournalEntry.h"
#include "update/UpdateOutcome.h"
#include "update/UpdatePlan.h"

// Turns the downloaded packages of a plan into installed files as one transaction: every
// package is extracted into a staged file first; only when all are staged, and every target
// can be replaced, are they committed (CInstallCommit), then the entries marked Register are
// registered. One package that cannot be staged fails the run and nothing is replaced; a
// target that a running program holds postpones the commit, keeping the staged set for a
// later run; after more than five such launches in a row a box names it, once a day at most. Runs
// on its own thread when given a notify object, else at once on the caller's thread without
// notifications.
class CInstallLite : public bcl::system::process::thread::CThread {
public:
    static constexpr unsigned kErrorInstall = 0x10081001;

    CInstallLite(CRunWorkspace& workspace, CLastError& errors, bool verifiesUpdates);

    // The plan the next start installs.
    void SetPlan(std::shared_ptr<const UpdatePlan> plan);
    // A thread that cannot be started reports the installation's error.
    void StartThreaded(CInstallLiteNotify* notify);
    // Stage every package, then commit; a stop is seen until the commit begins.
    void Install();
    void Stop() { stop = true; }
    void ClearStop() { stop = false; }
    bool IsStopRequested() const { return stop; }

    // Writes the package's first entry next to it and deletes the package. False, with the
    // package left on disk, when the extraction failed; the archive's and the file class's
    // exceptions (thrown by pointer) reach the caller.
    static bool ExtractPackage(const std::wstring& packagePath);
    // Writes entry 0 of the package into exactly the file given, and nothing else; false or an
    // exception (by pointer) when it cannot, or when the entry declares more than largestFile
    // bytes.
    static bool ExtractPackageTo(const std::wstring& packagePath, const std::wstring& file,
                                 uint64_t largestFile = UINT64_MAX);

    // How the last installation ended: Updated, Postponed (stopped, or a target in use) or
    // Failed; Postponed while none has ended. Set before the receiver is told.
    UpdateResult Ended() const { return ended; }

    // No notification is made from now on (the receiver is going away).
    void DetachNotify() { notify = nullptr; }
    // Returns when a run on the installer's thread has ended; at once when none was started
    // or when called on that thread.
    void Wait() const;

protected:
    unsigned Run() override;

private:
    // Reports the stop when one was asked for.
    bool Stopped();
    // Stages every file of the plan not staged yet; the failure's text, or nothing. Sets
    // stopped when a stop came between two packages.
    std::wstring Stage(bool& stopped);
    std::vector<JournalEntry> CommitList() const;
    // What the log names as installed for each file of the plan: its package, or the delta it
    // was made from in this run. Read before staging, which removes the packages' parts.
    std::vector<std::wstring> InstalledNames() const;
    // Counts the launches in a row a busy target postponed the commit.
    CPostponedCommitRecord PostponedRecord() const;
    // The box that names the file which keeps postponing the commit.
    static void TellBusyTarget(const std::wstring& target);
    // Puts the staged files in place (the commit registers the marked ones) and ends the run.
    void Commit(const std::vector<JournalEntry>& commitList,
                const std::vector<std::wstring>& installedNames);
    // Ends the run, then tells the receiver.
    void ReportError(const std::wstring& text);
    void ReportStopped();

    CRunWorkspace& workspace;
    CLastError& errors;
    bool verifiesUpdates;
    std::shared_ptr<const UpdatePlan> plan;
    std::atomic<CInstallLiteNotify*> notify{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<UpdateResult> ended{UpdateResult::Postponed};
};
