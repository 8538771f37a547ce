#pragma once

#include <atomic>
#include <set>
#include <string>

#include "support/bcl/system/process/thread/CThread.h"
#include "update/CInstallLiteNotify.h"
#include "update/ManifestEntry.h"

class CUpdateManagerLite;

// Turns the downloaded packages of the manager's pending entries into installed files, then
// registers the entries marked Register. Runs on its own thread when given a notify object,
// else at once on the caller's thread without notifications.
class CInstallLite : public bcl::system::process::thread::CThread {
public:
    explicit CInstallLite(CUpdateManagerLite* manager) : manager(manager) {}

    void StartThreaded(CInstallLiteNotify* notify);
    // Every package in order: extract, report, check for a stop; then registration.
    void Install();
    // Writes the package's first entry next to it and deletes the package. False, with the
    // package left on disk, when the extraction failed; the archive's and the file class's
    // exceptions (thrown by pointer) reach the caller.
    static bool ExtractPackage(const std::wstring& packagePath);
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
    // Verifies the entry's package against the signed manifest while writing it beside the
    // target, then moves it over the target; false (a line on the debug output) when refused.
    bool InstallVerified(const ManifestEntry& entry, const std::wstring& target);

    std::atomic<CInstallLiteNotify*> notify{nullptr};
    CUpdateManagerLite* manager;
    std::set<std::wstring> verifiedTargets;  // installed and verified in this run
};
