// Signed releases end to end: an engine with the test key against trees signed (or spoiled)
// the way a publisher or an attacker would, served over loopback.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>

#include "EngineFixture.h"
#include "UpdateTestFiles.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "support/updatetree/CTreeSigner.h"
#include "support/updatetree/StoredZip.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CReleaseSerial.h"
#include "verify/CRolloutDraw.h"
#include "verify/CSha256.h"
#include "verify/ManifestVerification.h"

namespace {

using updatetest::EngineFixture;
using updatetest::FileBytes;
using updatetree::CUpdateTree;
using updatetree::LocalTime;

const SYSTEMTIME kFirst = LocalTime(2024, 3, 1, 10, 0, 4);
const SYSTEMTIME kSecond = LocalTime(2024, 4, 1, 10, 0, 4);
constexpr uint64_t kFirstSerial = 1000;

// A.dll is registered; B.txt changes only in the first release.
std::string Manifest(const std::string& dllDate, const std::string& txtDate = "2024-03-01 10:00",
                     const std::string& dllObject = std::string()) {
    return "[A.dll]\nModifyDate=" + dllDate + "\nCheckDate=1\nRegister=1\nType=Common\n" +
           (dllObject.empty() ? "" : "Object=" + dllObject + "\n") +
           "[B.txt]\nModifyDate=" + txtDate + "\nCheckDate=1\nType=Common\n";
}

// A file's last-write minute as a manifest writes it.
std::string WriteMinute(const std::wstring& path) {
    const SYSTEMTIME t = updatetest::LocalWriteTime(path);
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute);
    return text;
}

// New bytes, the file's time kept: what a user's edit or a damaged disk leaves.
void ChangeKeepingTime(const std::wstring& path, const std::string& bytes) {
    const SYSTEMTIME t = updatetest::LocalWriteTime(path);
    updatetest::WriteTextFile(path, bytes);
    updatetest::SetLocalWriteTime(path, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// Every line written through the debug output while it lives.
class DebugLines {
public:
    DebugLines() {
        DebugOutput::SetObserver([this](const std::wstring& line) {
            std::lock_guard<std::mutex> guard(lock);
            lines.push_back(line);
        });
    }
    ~DebugLines() { DebugOutput::SetObserver(nullptr); }
    bool Holds(const std::wstring& part) const {
        std::lock_guard<std::mutex> guard(lock);
        for (const std::wstring& line : lines)
            if (line.find(part) != std::wstring::npos) return true;
        return false;
    }

private:
    mutable std::mutex lock;
    std::vector<std::wstring> lines;
};

class SignedUpdateTest : public ::testing::Test, public EngineFixture {
protected:
    // A check, then the downloads with installation right after them, by an engine with the
    // test key (or the keys given); the check's count.
    int UpdateOnce() { return UpdateOnce({testKey.Public()}); }
    int UpdateOnce(std::vector<PublicKey> keys, UpdateOutcome* outcome = nullptr) {
        return UpdateOnceIn(install.Path(), std::move(keys), outcome);
    }
    // The same into another install folder; how the run ended goes to outcome when given.
    int UpdateOnceIn(const std::wstring& folder, std::vector<PublicKey> keys,
                     UpdateOutcome* outcome = nullptr) {
        updatetest::RecordingNotify run;
        CUpdateManagerLite engine(server.Url(), folder, std::move(keys));
        engine.UseDirectConnection();
        engine.AddTypeFilter(L"Common");
        const int pending = engine.CheckForUpdates();
        if (pending > 0) {
            EXPECT_EQ(engine.StartDownload(&run, true), 1);
            EXPECT_TRUE(run.WaitForDownloadEnd());
        }
        if (outcome) *outcome = engine.Outcome();
        return pending;
    }
    void PublishFirstRelease() {
        tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial, {}, {}});
        tree.AddPackage("A.dll", firstDll, kFirst);
        tree.AddPackage("B.txt", "first B", kFirst);
        tree.PublishManifest(Manifest("2024-03-01 10:00"));
    }
    void InstallFirstRelease() {
        PublishFirstRelease();
        ASSERT_EQ(UpdateOnce(), 2);
        ASSERT_EQ(FileBytes(Dll()), firstDll);
        ASSERT_EQ(updatetest::RegistrationCount(Dll()), 1);
    }
    // The second release changes A.dll only; how it is signed is up to the caller.
    void PublishSecondRelease(CUpdateTree::Signing signing) {
        tree.SetSigning(std::move(signing));
        tree.AddPackage("A.dll", secondDll, kSecond);
        tree.PublishManifest(Manifest("2024-04-01 10:00"));
    }
    std::wstring Dll() const { return install / L"A.dll"; }
    std::wstring Txt() const { return install / L"B.txt"; }
    std::wstring InstallRecord() const {
        return UpdateWorkPaths::InstallRecordFile(UpdateWorkPaths::WorkFolder(install.Path()));
    }
    uint64_t RecordedSerial() const { return CReleaseSerial(install.Path()).Read().serial; }
    // Names in the install folder that a half-done write would leave.
    // Files of the run left beside the targets or in its staging folder; the run's own folder
    // with its lock and resumable parts stays.
    std::vector<std::wstring> TemporaryFiles() const {
        std::vector<std::wstring> names;
        const std::wstring workFolder = UpdateWorkPaths::WorkFolder(install.Path());
        for (const auto& item : std::filesystem::directory_iterator(install.Path())) {
            const std::wstring name = item.path().filename().wstring();
            if (name[0] == L'~' && name != L"~PelkoUpdate") names.push_back(name);
        }
        const std::filesystem::path staged = UpdateWorkPaths::StagedFolder(workFolder);
        if (std::filesystem::exists(staged))
            for (const auto& item : std::filesystem::directory_iterator(staged))
                names.push_back(item.path().filename().wstring());
        return names;
    }

    const updatetree::CTreeSigner testKey = updatetree::CTreeSigner::TestKey();
    const std::string firstDll = updatetest::TestDllBytes(L"testreg_ok.dll");
    // Another valid DLL that records its registration too.
    const std::string secondDll = firstDll + std::string(4096, '\x5A');
};

TEST_F(SignedUpdateTest, SignedReleasesInstallRegisterAndRecordTheirSerial) {
    DebugLines debug;
    InstallFirstRelease();
    EXPECT_EQ(FileBytes(install / L"B.txt"), "first B");
    EXPECT_EQ(RecordedSerial(), kFirstSerial);
    // The record and the run's folder are this user's and the administrators' alone: another
    // user who could open them would hold back every update. (Wine shows a list only as the
    // Unix mode it made of it: an inherited one reads as everyone reading.)
    const auto user = FolderSecurity::CurrentUserSid();
    for (const std::wstring& path : {install / CReleaseSerial::fileName,
                                     UpdateWorkPaths::WorkFolder(install.Path()),
                                     InstallRecord()}) {
        DWORD error = ERROR_SUCCESS;
        const auto facts = FolderSecurity::ReadFolderFacts(path, error);
        ASSERT_TRUE(facts.has_value()) << error;
        for (const auto& entry : facts->entries)
            EXPECT_TRUE(entry.sid == *user || FolderTrustRule::IsAuthority(entry.sid))
                << std::string(path.begin(), path.end()) << ": "
                << std::string(entry.sid.begin(), entry.sid.end());
    }

    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
    EXPECT_EQ(updatetest::RegistrationCount(Dll()), 2);
    EXPECT_EQ(RecordedSerial(), kFirstSerial + 1);
    EXPECT_FALSE(updatetest::Exists(Dll() + L".zip"));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_FALSE(debug.Holds(L"refused"));

    // The same release again is accepted (equal serial) and finds nothing to do.
    EXPECT_EQ(UpdateOnce(), 0);
}

// While a key is replaced the component carries two; a release signed with either is used.
// A release rolled out in stages waits for each install's turn: an install that has release 1
// fetches the manifest, keeps release 1 and records no serial; a first install takes it at once;
// stopped, it still waits; published again without a rollout, it is taken at once.
TEST_F(SignedUpdateTest, AStagedReleaseWaitsForTheInstallsTurn) {
    DebugLines debug;
    InstallFirstRelease();
    // u = 0.5: its turn comes half way through the rollout, 15 days from now.
    ASSERT_TRUE(CReleaseSerial(install.Path(), CRolloutDraw::fileName).Record(1u << 31));
    const int64_t now = SecondsNow();
    ReleaseRollout rollout{now, 30, {}};
    tree.SetRollout(rollout);
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    UpdateOutcome outcome;
    EXPECT_EQ(UpdateOnce({testKey.Public()}, &outcome), 0);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(RecordedSerial(), kFirstSerial);
    EXPECT_EQ(outcome, (UpdateOutcome{UpdateResult::NotOffered, kFirstSerial}));
    EXPECT_TRUE(debug.Holds(L"is rolled out in stages: this install's turn comes at "));
    EXPECT_EQ(CReleaseSerial(install.Path(), CRolloutDraw::fileName).Read().serial, 1u << 31);

    // A first install is offered the newest release whatever its draw would be.
    updatetest::TestFolder fresh;
    EXPECT_EQ(UpdateOnceIn(fresh.Path(), {testKey.Public()}, &outcome), 2);
    EXPECT_EQ(FileBytes(fresh / L"A.dll"), secondDll);
    EXPECT_EQ(outcome, (UpdateOutcome{UpdateResult::Updated, kFirstSerial + 1}));

    // Stopped: signed again over the same manifest, still not offered to the first install.
    rollout.cap = 0;
    tree.SetRollout(rollout);
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 2, {}, {}});
    EXPECT_EQ(UpdateOnce({testKey.Public()}, &outcome), 0);
    EXPECT_EQ(outcome.result, UpdateResult::NotOffered);
    EXPECT_TRUE(debug.Holds(L"held at 0.0 % of installs, not this one"));

    // Without a rollout: taken at once.
    tree.SetRollout(std::nullopt);
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 3, {}, {}});
    EXPECT_EQ(UpdateOnce({testKey.Public()}, &outcome), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
    EXPECT_EQ(RecordedSerial(), kFirstSerial + 3);
    EXPECT_EQ(outcome, (UpdateOutcome{UpdateResult::Updated, kFirstSerial + 3}));
}

// An install draws its place once and keeps it: a rollout that has not begun reaches nobody,
// and the kept draw is the same after the next run.
TEST_F(SignedUpdateTest, AnInstallDrawsItsPlaceOnceAndKeepsIt) {
    InstallFirstRelease();
    const CReleaseSerial draw(install.Path(), CRolloutDraw::fileName);
    EXPECT_FALSE(draw.Read().found);
    tree.SetRollout(ReleaseRollout{SecondsNow() + 86400, 1, {}});
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    EXPECT_EQ(UpdateOnce(), 0);
    const CReleaseSerial::Reading first = draw.Read();
    ASSERT_TRUE(first.found);
    EXPECT_EQ(UpdateOnce(), 0);
    EXPECT_EQ(draw.Read().serial, first.serial);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
}

TEST_F(SignedUpdateTest, EitherOfTwoKeysIsEnough) {
    PublishFirstRelease();
    const PublicKey otherKey = updatetree::CTreeSigner::NewKey().Public();
    EXPECT_EQ(UpdateOnce({otherKey, testKey.Public()}), 2);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
}

// Only a missing record reads as no release accepted yet: one that is there but cannot be read
// (damaged, or held by another user's program) would let an older release back in, so it
// refuses every release and the installed version stays.
TEST_F(SignedUpdateTest, SerialRecordThatCannotBeReadRefusesTheUpdate) {
    const std::wstring record = install / CReleaseSerial::fileName;
    const struct {
        const char* name;
        std::function<HANDLE()> arrange;  // returns a handle to close afterwards, if any
    } cases[] = {
        {"damaged",
         [&] {
             updatetest::WriteTextFile(record, "12ab");
             return INVALID_HANDLE_VALUE;
         }},
        {"held without sharing",
         [&] {
             return CreateFileW(record.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
         }},
    };
    InstallFirstRelease();
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        updatetest::WriteTextFile(record, std::to_string(kFirstSerial) + "\r\n");
        const HANDLE held = c.arrange();
        DebugLines debug;
        EXPECT_EQ(UpdateOnce(), 0);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(FileBytes(Dll()), firstDll);
        EXPECT_EQ(updatetest::RegistrationCount(Dll()), 1);
        EXPECT_TRUE(debug.Holds(L"the release serial record " + record + L" cannot be read"));
    }
    // Once it can be read again, the release is taken.
    updatetest::WriteTextFile(record, std::to_string(kFirstSerial) + "\r\n");
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
    EXPECT_EQ(RecordedSerial(), kFirstSerial + 1);
}

// A release is bound to its product and, in a product build, to an expiry; statements written
// before products were named are taken by builds for the tests only. No build takes one that
// expires beyond its bound.
TEST_F(SignedUpdateTest, WhatAProductBuildAcceptsOfAnAuthenticStatement) {
    const ReleaseRules::Acceptance productBuild{BuiltInAcceptance().product, false, true};
    const ReleaseRules::Acceptance testBuild = BuiltInAcceptance();
    const int64_t later = SecondsNow() + 3600;
    const int64_t beyondBound = SecondsNow() + (ReleaseRules::kMaxReleaseDays + 2) * int64_t{86400};
    const std::string otherProduct = BuiltInAcceptance().product + "-other";
    const struct {
        const char* name;
        std::optional<std::string> product;
        std::optional<int64_t> expires;
        ReleaseRules::Acceptance acceptance;
        const wchar_t* refusal;  // nullptr: accepted
    } cases[] = {
        {"product and expiry", BuiltInAcceptance().product, later, productBuild, nullptr},
        {"another product", otherProduct, later, productBuild,
         L"the statement is for the product "},
        {"another product, test build", otherProduct, later, testBuild,
         L"the statement is for the product "},
        {"no product", std::nullopt, later, productBuild, L"the statement names no product"},
        {"no product, test build", std::nullopt, later, testBuild, nullptr},
        {"no expiry", BuiltInAcceptance().product, std::nullopt, productBuild,
         L"the statement never expires"},
        {"no expiry, test build", BuiltInAcceptance().product, std::nullopt, testBuild, nullptr},
        {"expiring beyond the bound", BuiltInAcceptance().product, beyondBound, productBuild,
         L"the release statement expires at "},
        {"expiring beyond the bound, test build", BuiltInAcceptance().product, beyondBound,
         testBuild, L"the release statement expires at "},
    };
    ASSERT_TRUE(testBuild.acceptUnnamed) << "the engine's tests run in a build for the tests";
    tree.AddPackage("B.txt", "first B", kFirst);
    const std::wstring manifest = install / L"RudovuZado.ini";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CUpdateTree::Signing signing{CUpdateTree::Signing::Key::test, kFirstSerial, c.expires, {}};
        signing.product = c.product;
        tree.SetSigning(signing);
        tree.PublishManifest("[B.txt]\nCheckDate=1\nType=Common\n");
        const auto refusal =
            ExtractVerifiedManifest(tree.Root() + L"RudovuZado.ini.zip", manifest,
                                    {testKey.Public()}, c.acceptance,
                                    CReleaseSerial(install.Path()), SecondsNow());
        if (c.refusal) {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_TRUE(refusal->starts_with(c.refusal)) << std::string(refusal->begin(),
                                                                        refusal->end());
            EXPECT_FALSE(updatetest::Exists(manifest));
        } else {
            EXPECT_FALSE(refusal.has_value());
            EXPECT_TRUE(updatetest::Exists(manifest));
            DeleteFileW(manifest.c_str());
        }
    }
}

// A DLL in place that is not checked by date is registered again at each check, but only when
// it is the file the signed manifest names.
TEST_F(SignedUpdateTest, ExistingDllIsRegisteredAgainOnlyWhenItIsTheSignedFile) {
    tree.AddPackage("A.dll", firstDll, kFirst);
    tree.PublishManifest("[A.dll]\nRegister=1\nType=Common\n");
    updatetest::WriteTextFile(Dll(), firstDll);
    EXPECT_EQ(UpdateOnce(), 0);
    EXPECT_EQ(updatetest::RegistrationCount(Dll()), 1);

    updatetest::WriteTextFile(Dll(), secondDll);
    DebugLines debug;
    EXPECT_EQ(UpdateOnce(), 0);
    EXPECT_EQ(updatetest::RegistrationCount(Dll()), 1);
    EXPECT_TRUE(debug.Holds(L"not registered again"));
}

// A file's time decides nothing under a signed manifest: a release dated before the installed
// file's time (a file rebuilt from a delta once took the time it was written) still brings its
// changed file, and so do the earlier files published again (a rollback). Every installed file
// carries its signed date.
TEST_F(SignedUpdateTest, TheReleaseNotTheClockDecidesAndARollbackComesBack) {
    InstallFirstRelease();
    EXPECT_EQ(WriteMinute(Dll()), "2024-03-01 10:00");
    updatetest::SetLocalWriteTime(Dll(), 2030, 1, 1, 0, 0, 0);
    tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    tree.AddPackage("A.dll", secondDll, kSecond);
    tree.PublishManifest(Manifest("2024-02-01 10:00"));
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
    EXPECT_EQ(WriteMinute(Dll()), "2024-02-01 10:00");

    tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial + 2, {}, {}});
    tree.AddPackage("A.dll", firstDll, kFirst);
    tree.PublishManifest(Manifest("2024-03-01 10:00"));
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(FileBytes(Txt()), "first B");
    EXPECT_EQ(UpdateOnce(), 0);
}

// A package entry's time is not signed: one rewritten to 2107 is not the installed file's time,
// so it cannot hold the file against later releases.
TEST_F(SignedUpdateTest, AForgedEntryTimeIsNotTheInstalledFilesTime) {
    tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial, {}, {}});
    tree.AddPackage("A.dll", firstDll, LocalTime(2107, 6, 1, 0, 0));
    tree.AddPackage("B.txt", "first B", kFirst);
    tree.PublishManifest(Manifest("2024-03-01 10:00"));
    ASSERT_EQ(UpdateOnce(), 2);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(WriteMinute(Dll()), "2024-03-01 10:00");

    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
}

// Where the publisher's clock and the client's differ, ModifyDate says nothing about which files
// changed: exactly those are fetched, whichever way the dates are off.
TEST_F(SignedUpdateTest, ExactlyTheChangedFilesAreFetchedWhateverTheDates) {
    const struct {
        const char* name;
        const char* dllDate;  // A.dll changes
        const char* txtDate;  // B.txt does not
    } cases[] = {
        {"publisher's clock ahead", "2024-03-02 09:00", "2024-03-01 19:00"},
        {"publisher's clock behind", "2024-03-01 05:00", "2024-02-29 19:00"},
    };
    uint64_t serial = kFirstSerial;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tree.SetSigning({CUpdateTree::Signing::Key::test, ++serial, {}, {}});
        tree.AddPackage("A.dll", firstDll, kFirst);
        tree.AddPackage("B.txt", "first B", kFirst);
        tree.PublishManifest(Manifest("2024-03-01 10:00"));
        UpdateOnce();
        ASSERT_EQ(FileBytes(Dll()), firstDll);
        ASSERT_EQ(FileBytes(Txt()), "first B");

        tree.SetSigning({CUpdateTree::Signing::Key::test, ++serial, {}, {}});
        tree.AddPackage("A.dll", secondDll, kSecond);
        tree.PublishManifest(Manifest(c.dllDate, c.txtDate));
        EXPECT_EQ(UpdateOnce(), 1);
        EXPECT_EQ(FileBytes(Dll()), secondDll);
        EXPECT_EQ(WriteMinute(Txt()), "2024-03-01 10:00");
    }
}

// A file changed in place is kept (it may be the user's edit) until a release changes it.
TEST_F(SignedUpdateTest, AFileChangedInPlaceIsKeptUntilAReleaseChangesIt) {
    InstallFirstRelease();
    ChangeKeepingTime(Txt(), "edited B");
    EXPECT_EQ(UpdateOnce(), 0);
    EXPECT_EQ(FileBytes(Txt()), "edited B");

    tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    tree.AddPackage("B.txt", "second B", kFirst);
    tree.PublishManifest(Manifest("2024-03-01 10:00"));
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Txt()), "second B");
    EXPECT_EQ(FileBytes(Dll()), firstDll);
}

// Files the record does not know (placed by the vendor's installer, or by a client before the
// record was kept) are hashed once: the release's own bytes are kept and learned whatever their
// time, the bytes of the release accepted before are fetched whatever their time.
TEST_F(SignedUpdateTest, AFileWithoutARecordIsJudgedByItsBytesOnce) {
    InstallFirstRelease();
    ASSERT_TRUE(updatetest::Exists(InstallRecord()));
    ASSERT_TRUE(DeleteFileW(InstallRecord().c_str()));
    updatetest::SetLocalWriteTime(Dll(), 2030, 1, 1, 0, 0, 0);
    updatetest::SetLocalWriteTime(Txt(), 2000, 1, 1, 0, 0, 0);
    PublishSecondRelease({CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}});
    EXPECT_EQ(UpdateOnce(), 1);
    EXPECT_EQ(FileBytes(Dll()), secondDll);
    EXPECT_EQ(FileBytes(Txt()), "first B");

    // Learned: its time is never looked at again.
    ChangeKeepingTime(Txt(), "edited B");
    EXPECT_EQ(UpdateOnce(), 0);
    EXPECT_EQ(FileBytes(Txt()), "edited B");
}

// An object's bytes are checked against its name before any ZIP code reads them: a package
// re-zipped with a forged entry time (its file's size and SHA-256 unchanged) and bytes that a
// ZIP reader would choke on are both refused by their SHA-256 alone, and nothing is installed.
TEST_F(SignedUpdateTest, AnObjectIsCheckedAgainstItsNameBeforeAnythingReadsIt) {
    tree.SetSigning({CUpdateTree::Signing::Key::test, kFirstSerial, {}, {}});
    tree.AddPackage("A.dll", firstDll, LocalTime(2107, 6, 1, 0, 0));
    const std::string rezipped = FileBytes(tree.PackagePath("A.dll"));
    tree.AddPackage("A.dll", firstDll, kFirst);
    tree.AddPackage("B.txt", "first B", kFirst);
    const std::string package = FileBytes(tree.PackagePath("A.dll"));
    const std::string object =
        "objects/" + ToHex(CSha256::Of(package.data(), package.size())) + ".zip";
    const std::wstring served = tree.Root() + L"objects\\" +
                                std::wstring(object.begin() + 8, object.end());
    tree.PublishManifest(Manifest("2024-03-01 10:00", "2024-03-01 10:00", object));
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"re-zipped with its entry dated 2107", rezipped},
        {"not a ZIP archive past its signature", "PK\x03\x04" + std::string(64, '\xFF')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.bytes, package);
        updatetest::WriteTextFile(served, c.bytes);
        DebugLines debug;
        UpdateOnce();
        EXPECT_TRUE(debug.Holds(L"object refused: " + std::wstring(object.begin(), object.end())));
        EXPECT_TRUE(debug.Holds(L"the object's SHA-256 differs from its name"));
        EXPECT_FALSE(debug.Holds(L"package refused"));
        EXPECT_FALSE(updatetest::Exists(Dll()));
        EXPECT_FALSE(updatetest::Exists(Txt()));
        EXPECT_TRUE(TemporaryFiles().empty());
    }
    // The object as its name says: the run completes.
    updatetest::WriteTextFile(served, package);
    EXPECT_EQ(UpdateOnce(), 2);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(WriteMinute(Dll()), "2024-03-01 10:00");
}

// A client that knows nothing of signatures reads entry 0 and the keys it knows, as before.
TEST_F(SignedUpdateTest, ClientWithoutKeysInstallsTheSignedTreeAsBefore) {
    PublishFirstRelease();
    EXPECT_EQ(UpdateOnce({}), 2);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(FileBytes(install / L"B.txt"), "first B");
    EXPECT_EQ(updatetest::RegistrationCount(Dll()), 1);
    EXPECT_FALSE(updatetest::Exists(install / CReleaseSerial::fileName));
    EXPECT_FALSE(updatetest::Exists(CacheFolder() + L"RudovuZado.sig"));
}

// How a release is spoiled: its signing before it is published, then its files afterwards.
struct Tampering {
    const char* what;
    std::function<void(CUpdateTree::Signing&)> sign;
    std::function<void(CUpdateTree&, const std::string& dll)> spoil;
    const wchar_t* reason;  // part of the line on the debug output
    // Refused: the release itself did not verify; failed: one of its packages did not.
    UpdateResult result;
};

void PrintTo(const Tampering& tampering, std::ostream* out) { *out << tampering.what; }

class TamperingTest : public SignedUpdateTest, public ::testing::WithParamInterface<Tampering> {};

TEST_P(TamperingTest, InstallsNothingRegistersNothingAndSaysWhy) {
    const Tampering& tampering = GetParam();
    InstallFirstRelease();
    const SYSTEMTIME installedTime = updatetest::LocalWriteTime(Dll());

    CUpdateTree::Signing signing{CUpdateTree::Signing::Key::test, kFirstSerial + 1, {}, {}};
    if (tampering.sign) tampering.sign(signing);
    PublishSecondRelease(signing);
    if (tampering.spoil) tampering.spoil(tree, secondDll);
    DebugLines debug;
    UpdateOutcome outcome;
    const int pending = UpdateOnce({testKey.Public()}, &outcome);

    EXPECT_LE(pending, 1);
    EXPECT_EQ(FileBytes(Dll()), firstDll);
    EXPECT_EQ(updatetest::LocalWriteTime(Dll()).wMonth, installedTime.wMonth);
    EXPECT_EQ(FileBytes(install / L"B.txt"), "first B");
    EXPECT_FALSE(updatetest::Exists(install / L"PelkoDeskLoader.exe"));
    EXPECT_EQ(updatetest::RegistrationCount(Dll()), 1);
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_LE(RecordedSerial(), kFirstSerial + 1);
    EXPECT_TRUE(debug.Holds(tampering.reason)) << "no debug line holds the reason";
    // The installed release is still the first, whatever serial was accepted.
    EXPECT_EQ(outcome, (UpdateOutcome{tampering.result, kFirstSerial}));
}

void SwapForAnotherDll(CUpdateTree& tree, const std::string&) {
    tree.AddPackage("A.dll", updatetest::TestDllBytes(L"testreg_fail.dll"), kSecond);
}

INSTANTIATE_TEST_SUITE_P(
    Release, TamperingTest,
    ::testing::Values(
        Tampering{"package swapped for another valid package", nullptr, SwapForAnotherDll,
                  L"package refused", UpdateResult::Failed},
        Tampering{"manifest edited without signing it again",
                  [](CUpdateTree::Signing& s) {
                      s.tamper = [](std::string& manifest) {
                          manifest.replace(manifest.find("2024-04-01 10:00"), 16,
                                           "2024-04-01 10:01");
                      };
                  },
                  nullptr, L"SHA-256 differs", UpdateResult::Refused},
        Tampering{"statement signed by an unknown key",
                  [](CUpdateTree::Signing& s) { s.key = CUpdateTree::Signing::Key::unknown; },
                  nullptr, L"signed by no update key", UpdateResult::Refused},
        Tampering{"older signed release after a newer one",
                  [](CUpdateTree::Signing& s) { s.serial = kFirstSerial - 1; }, nullptr,
                  L"is older than", UpdateResult::Refused},
        Tampering{"statement for another product",
                  [](CUpdateTree::Signing& s) { s.product = "PelkoOther"; }, nullptr,
                  L"the statement is for the product PelkoOther", UpdateResult::Refused},
        Tampering{"serial more than ten years ahead of the clock",
                  [](CUpdateTree::Signing& s) {
                      s.serial = static_cast<uint64_t>(SecondsNow()) + 11ull * 366 * 24 * 3600;
                  },
                  nullptr, L"lies more than 10 years ahead of the clock", UpdateResult::Refused},
        Tampering{"expired statement",
                  [](CUpdateTree::Signing& s) { s.expires = SecondsNow() - 60; }, nullptr,
                  L"expired", UpdateResult::Refused},
        Tampering{"entry name differs from its section", nullptr,
                  [](CUpdateTree& tree, const std::string& dll) {
                      tree.AddPackage("A.dll", dll, kSecond, "PelkoDeskLoader.exe");
                  },
                  L"is named \"PelkoDeskLoader.exe\"", UpdateResult::Failed},
        Tampering{"package of two entries", nullptr,
                  [](CUpdateTree& tree, const std::string& dll) {
                      updatetree::WriteStoredZip(
                          tree.PackagePath("A.dll"),
                          {{"A.dll", dll, kSecond}, {"PelkoDeskLoader.exe", "planted", kSecond}});
                  },
                  L"holds 2 entries", UpdateResult::Failed},
        Tampering{"unsigned tree",
                  [](CUpdateTree::Signing& s) { s.key = CUpdateTree::Signing::Key::none; }, nullptr,
                  L"no release statement", UpdateResult::Refused}),
    [](const ::testing::TestParamInfo<Tampering>& info) {
        std::string name;
        for (const char* c = info.param.what; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

}  // namespace
