#pragma once

#include <memory>
#include <string>
#include <vector>

#include "download/CTransferAbort.h"
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

// Fetches the manifest into the run's manifest folder (the caller empties it), reads it and plans every out-of-date
// file: its request, its part and staged files, where a part resumes, and whether a verified
// staged file of the same release already waits. Its transfers stop with the run's abort.
class CUpdateCheck {
public:
    static constexpr unsigned kErrorLoadManifest = 0x10011001;
    static constexpr unsigned kErrorFetchManifest = 0x10021001;
    static constexpr unsigned kErrorExtractManifest = 0x10031001;

    struct Folders {
        std::wstring manifest;  // the run's folder for the manifest copies
        std::wstring parts;
        std::wstring staged;
    };

    CUpdateCheck(const CheckSettings& settings, const Folders& folders, CTransferAbort& abort,
                 CLastError& errors);

    // -1 manifest unreadable, 0 nothing to do or manifest unreachable (or stopped), n > 0 the
    // number of planned files; the plan holds them.
    int Run();
    std::shared_ptr<const UpdatePlan> Plan() const { return plan; }

private:
    bool FetchArchive(const std::wstring& name);
    bool AcceptManifest(const std::wstring& package, const std::wstring& copy);
    bool PlanIfOutdated(const ManifestEntry& entry, UpdatePlan& into) const;
    // Whether an existing file may be registered again: always without keys, else only when
    // it is the file the signed manifest names.
    bool MayRegisterExisting(const ManifestEntry& entry, const std::wstring& target) const;
    // Whether the staged file is the entry's file: by digest under keys; never without.
    bool IsStagedFile(const ManifestEntry& entry, const std::wstring& staged) const;
    bool VerifiesUpdates() const { return !settings.keys.empty(); }

    const CheckSettings& settings;
    Folders folders;
    CTransferAbort& abort;
    CLastError& errors;
    std::shared_ptr<const UpdatePlan> plan;
};
