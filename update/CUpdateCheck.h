#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "download/CTransferAbort.h"
#include "update/CInstallRecord.h"
#include "update/CInstalledFileChanges.h"
#include "update/ContentRule.h"
#include "update/CLastError.h"
#include "update/DownloadRequest.h"
#include "update/KeptValidators.h"
#include "update/ManifestEntry.h"
#include "update/UpdateOutcome.h"
#include "update/UpdatePlan.h"
#include "verify/UpdateKeys.h"

class CReleaseSerial;

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
// verified again as if it had just come. Under a signed manifest a file checked by date is
// judged by content (ContentRule) against the install record, never by its time.
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
    // How the run ended when the check was its end (nothing planned); none when files wait.
    std::optional<UpdateResult> Ended() const { return ended; }
    // The serial of the signed release the check took; none without keys or release.
    std::optional<uint64_t> AcceptedSerial() const { return acceptedSerial; }

private:
    enum class Fetched { Whole, NotModified, Failed };
    bool FetchArchive(const std::wstring& name);
    // One request for the package, conditional when a kept copy is given; waits until it
    // ends, the run stops or the deadline passes.
    Fetched FetchOnce(const std::wstring& url, const std::wstring& name, bool conditional);
    // Reads the package into the manifest copy: verified under keys, else extracted.
    bool AcceptPackage(const std::wstring& package, const std::wstring& copy);
    bool AcceptManifest(const std::wstring& package, const std::wstring& copy);
    // The verified release is this run's unless a staged rollout has not reached this install:
    // then false, and no serial is recorded (a later start takes it); else its serial is.
    bool TakeRelease(const ReleaseStatement& statement, const CReleaseSerial& serials);
    // The one line that says when (or whether) the rollout reaches this install.
    void ReportNotOffered(const ReleaseStatement& statement, uint32_t draw) const;
    std::wstring KeptPackage() const;
    void KeepPackage(const std::wstring& package) const;
    bool PlanIfOutdated(const ManifestEntry& entry, UpdatePlan& into);
    // Whether an existing file is out of date: by content under a signed manifest when it is
    // checked by date, else as NeedsUpdate says (which registers it again when registerDigest
    // is given: through the handle it loads from, when that file has the digest).
    bool IsOutdated(const ManifestEntry& entry, const std::wstring& target,
                    const std::optional<std::wstring>& registerDigest);
    bool IsOutdatedByContent(const ManifestEntry& entry, const std::wstring& target,
                             const ContentRule::Content& release);
    // What the release accepted before (the kept manifest) named for the entry's file; read
    // once, when a file without a record first asks.
    std::optional<ContentRule::Content> BeforeContent(const ManifestEntry& entry);
    void ReadBeforeManifest();
    std::wstring BeforePackage() const;
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
    // The validators of the answer the package came in, with the URL it answered.
    KeptValidators validators;
    std::shared_ptr<const UpdatePlan> plan;
    std::optional<UpdateResult> ended;
    std::optional<uint64_t> acceptedSerial;
    CInstallRecord record;
    bool recordLearned = false;
    // By EntryKey: the content the release accepted before named; read on first use.
    std::optional<std::unordered_map<std::wstring, ContentRule::Content>> before;
};
