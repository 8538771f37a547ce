#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/bcl/system/process/thread/CThread.h"
#include "update/CInstallLiteNotify.h"
#include "update/JournalEntry.h"
#include "update/ManifestEntry.h"

class CUpdateManagerLite;

// Turns the downloaded packages of the manager's pending entries into installed files as one
// transaction: every package is extracted into a staged file first; only when all are staged
// are they committed (CInstallCommit), then the entries marked Register are registered. One
// package that cannot be staged fails the run and nothing is replaced. Runs on its own thread
// when given a notify object, else at once on the caller's thread without notifications.
class CInstallLite : public bcl::system::process::thread::CThread {
public:
    explicit CInstallLite(CUpdateManagerLite* manager) : manager(manager) {}

    // A thread that cannot be started reports the installation's error.
    void StartThreaded(CInstallLiteNotify* notify);
    // Stage every package, then commit; a stop is seen until the commit begins.
    void Install();
    // Writes the package's first entry next to it and deletes the package. False, with the
    // package left on disk, when the extraction failed; the archive's and the file class's
    // exceptions (thrown by pointer) reach the caller.
    static bool ExtractPackage(const std::wstring& packagePath);
    // Writes entry 0 of the package into exactly the file given, and nothing else; false or an
    // exception (by pointer) when it cannot, or when the entry declares more than largestFile
    // bytes.
    static bool ExtractPackageTo(const std::wstring& packagePath, const std::wstring& file,
                                 uint64_t largestFile = UINT64_MAX);
    void RegisterPackages();
    bool RegisterIfDll(const wchar_t* path);
    // Empty for an entry that does not stay inside its base folder (ContainedTargetPath).
    std::wstring ResolveTargetPath(int folderType, const std::wstring& targetDir,
                                   const std::wstring& name) const;

    // No notification is made from now on (the receiver is going away).
    void DetachNotify() { notify = nullptr; }
    // Returns when a run on the installer's thread has ended; at once when none was started
    // or when called on that thread.
    void Wait() const;

protected:
    unsigned Run() override;

private:
    bool Stopped() const;
    // Fills plan with one staged file per pending entry; the failure's text, or nothing.
    std::wstring Stage(std::vector<JournalEntry>& plan);
    void ReportError(const std::wstring& text);

    std::atomic<CInstallLiteNotify*> notify{nullptr};
    CUpdateManagerLite* manager;
    std::set<std::wstring> verifiedTargets;  // installed and verified in this run
};
