#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download/CTransferAbort.h"
#include "update/CInstalledFileChanges.h"
#include "update/CLastError.h"
#include "update/DownloadRequest.h"
#include "update/ManifestEntry.h"
#include "update/UpdatePlan.h"
#include "verify/UpdateKeys.h"

// What the check of one run needs to know.
struct CheckSettings {
    std::wstring updateUrl;  // "/" throughout
    std::wstring installFolder;
    std::wstring manifestName = L"RudovuZado.ini";
    std::vector<std::wstring> typeFilter;  // empty: every type
    DownloadProxySettings proxy;
    // With keys, only a release signed by one of them is used, and only what acceptance takes.
    std::vector<PublicKey> keys;
    ReleaseRules::Acceptance acceptance = BuiltInAcceptance();
};

// Fetches the manifest into the run's manifest folder (the caller empties it), reads it and
// plans every out-of-date file: its request, its part and staged files, where a part resumes,
// and whether a verified staged file of the same release already waits. The manifest is asked
// for once, on a worker that a stop or the deadline leaves behind, and only when it changed:
// the accepted package is kept in the work folder with its validators, and a 304 reuses it,
// verified again as if it had just come.
class CUpdateCheck {
public:
    static constexpr unsigned kErrorLoadManifest = 0x10011001;
    static constexpr unsigned kErrorFetchManifest = 0x10021001;
    static constexpr unsigned kErrorExtractManifest = 0x10031001;

    // How long the check waits for its manifest, tries included; then the installed version
    // starts.
    static constexpr DWORD kManifestDeadlineMs = 20 * 1000;

    struct Folders {
        std::wstring manifest;  // the run's folder for the manifest copies
        std::wstring parts;
        std::wstring staged;
        std::wstring work;  // where the accepted manifest package is kept between runs
    };

    // keepAlive (the run's lock) is held by the manifest's worker until it ends.
    // Registrations of files in place are changes, refused once the run is stopped.
    CUpdateCheck(const CheckSettings& settings, const Folders& folders,
                 std::shared_ptr<CTransferAbort> abort, CInstalledFileChanges& changes,
                 CLastError& errors, std::shared_ptr<void> keepAlive = nullptr);

    // -1 manifest unreadable, 0 nothing to do or manifest unreachable (or stopped), n > 0 the
    // number of planned files; the plan holds them.
    int Run();
    std::shared_ptr<const UpdatePlan> Plan() const { return plan; }

private:
    enum class Fetched { Whole, NotModified, Failed };
    bool FetchArchive(const std::wstring& name);
    // One request for the package, conditional when a kept copy is given; waits until it
    // ends, the run stops or the deadline passes.
    Fetched FetchOnce(const std::wstring& url, const std::wstring& name, bool conditional);
    // Reads the package into the manifest copy: verified under keys, else extracted.
    bool AcceptPackage(const std::wstring& package, const std::wstring& copy);
    bool AcceptManifest(const std::wstring& package, const std::wstring& copy);
    std::wstring KeptPackage() const;
    void KeepPackage(const std::wstring& package) const;
    bool PlanIfOutdated(const ManifestEntry& entry, UpdatePlan& into) const;
    // The digest an existing file must have to be registered again, checked through the handle
    // it is loaded from: none asked (empty) without keys, else the signed manifest's; nothing
    // when a signed manifest names none.
    std::optional<std::wstring> DigestToRegisterAgain(const ManifestEntry& entry,
                                                      const std::wstring& target) const;
    // Whether the staged file is the entry's file: by digest under keys; never without.
    bool IsStagedFile(const ManifestEntry& entry, const std::wstring& staged) const;
    bool VerifiesUpdates() const { return !settings.keys.empty(); }

    const CheckSettings& settings;
    Folders folders;
    std::shared_ptr<CTransferAbort> abort;
    CInstalledFileChanges& changes;
    CLastError& errors;
    std::shared_ptr<void> keepAlive;
    ULONGLONG deadline = 0;
    // The validators of the answer the package came in.
    std::wstring etag;
    std::wstring lastModified;
    std::shared_ptr<const UpdatePlan> plan;
};
