// The commit as one step: a separate process runs a whole update and is ended at each step of
// its commit; the next check must find the install folder all old or all new, every marked
// DLL registered, and nothing of the run left. A running program's file is replaced. Journals
// planted in the run's folder are judged before recovery acts on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>

#include <aclapi.h>

#include "EngineFixture.h"
#include "UpdateTestFiles.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "update/CCommitJournal.h"
#include "update/CInstallCommit.h"
#include "update/CInstallRecord.h"
#include "update/TargetPath.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"

namespace {

using updatetest::EngineFixture;
using updatetest::Exists;
using updatetest::FileBytes;
using updatetest::Narrow;

const SYSTEMTIME kStored = updatetree::LocalTime(2024, 3, 1, 10, 0, 4);
constexpr DWORD kKilled = 77;

std::wstring Sha256Hex(const std::string& bytes) {
    const std::string hex = ToHex(CSha256::Of(bytes.data(), bytes.size()));
    return std::wstring(hex.begin(), hex.end());
}

std::string Section(const std::string& name, const std::string& keys) {
    return "[" + name + "]\n" + keys + "Type=Common\n";
}

std::wstring ProbePath() {
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return PathText::Join(PathText::FolderPart(program), L"CommitProbe.exe");
}

class Process {
public:
    explicit Process(const std::wstring& program, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info))
            CloseHandle(info.hThread);
    }
    ~Process() {
        if (!info.hProcess) return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return info.hProcess != nullptr; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD Wait(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info{};
};

class CommitRecoveryTest : public ::testing::Test, public EngineFixture {
protected:
    void SetUp() override {
        tree.AddPackage("Old.txt", "new old", kStored);
        tree.AddPackage("New.txt", "new", kStored);
        tree.AddPackage("Reg.dll", updatetest::TestDllBytes(L"testreg_ok.dll"), kStored);
        tree.PublishManifest(Section("Old.txt", "ModifyDate=2024-03-01 10:00\nCheckDate=1\n") +
                             Section("New.txt", "TargetDir=sub\n") +
                             Section("Reg.dll", "Register=1\n"));
    }
    // Placed by hand, as an older installer would: the install record knows none of it.
    void InstallOldSet() {
        for (const wchar_t* name : {L"sub\\New.txt", L"Reg.dll", L"Reg.dll.log"})
            DeleteFileW((install / name).c_str());
        DeleteFileW(RecordPath().c_str());
        updatetest::WriteTextFile(install / L"Old.txt", "old");
        updatetest::SetLocalWriteTime(install / L"Old.txt", 2024, 2, 1, 9, 0, 0);
    }
    std::wstring RecordPath() const {
        return UpdateWorkPaths::InstallRecordFile(UpdateWorkPaths::WorkFolder(install.Path()));
    }
    // What the install record holds for the file is what the file holds, or nothing.
    void ExpectRecordTrue(const std::wstring& path) {
        CInstallRecord record(RecordPath());
        record.Load();
        const auto recorded = record.Find(path);
        if (!recorded) return;
        const std::string bytes = FileBytes(path);
        EXPECT_EQ(recorded->sha256, Sha256Hex(bytes)) << Narrow(path);
        EXPECT_EQ(recorded->size, bytes.size()) << Narrow(path);
    }
    void ExpectNothingOfTheRunLeft() {
        const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(work)));
        for (const wchar_t* name : {L"Old.txt", L"sub\\New.txt", L"Reg.dll"})
            EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(install / name))) << Narrow(name);
    }
};

TEST_F(CommitRecoveryTest, AProcessEndedAtAnyCommitStepLeavesAllOldOrAllNew) {
    manager.reset();
    bool sawOld = false;
    bool sawNew = false;
    bool completed = false;
    bool sawOlderDiscarded = false;
    for (unsigned step = 0; !completed && step < 20; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        InstallOldSet();
        // Without its last "\", which would escape the closing quote.
        const std::wstring folder = install.Path().substr(0, install.Path().size() - 1);
        const Process probe(ProbePath(),
                            server.Url() + L" \"" + folder + L"\" " + std::to_wstring(step));
        ASSERT_TRUE(probe.Started());
        const DWORD code = probe.Wait(60000);
        ASSERT_TRUE(code == kKilled || code == 0) << code;
        completed = code == 0;
        // Beside the staged files the ended run left, one an older release of Old.txt staged
        // and never committed.
        const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
        const std::wstring olderStaged = PathText::Join(
            UpdateWorkPaths::StagedFolder(work),
            UpdateWorkPaths::StagedName(install / L"Old.txt", L"2024-02-15 08:00", 5));
        const bool stagedLeft = Exists(UpdateWorkPaths::StagedFolder(work));
        if (stagedLeft) updatetest::WriteTextFile(olderStaged, "older");

        RecreateManager(server.Url());
        const int pending = manager->CheckForUpdates();
        for (const wchar_t* name : {L"Old.txt", L"sub\\New.txt", L"Reg.dll"})
            ExpectRecordTrue(install / name);
        if (FileBytes(install / L"Old.txt") == "new old") {
            sawNew = true;
            // A commit that was completed, by its run or by recovery, is learned whole.
            CInstallRecord record(RecordPath());
            record.Load();
            EXPECT_TRUE(record.Find(install / L"Old.txt"));
            EXPECT_EQ(FileBytes(install / L"sub\\New.txt"), "new");
            EXPECT_GE(updatetest::RegistrationCount(install / L"Reg.dll"), 1);
            EXPECT_EQ(pending, 0);
            // Nothing of a committed release waits to be fetched or staged again.
            EXPECT_FALSE(Exists(UpdateWorkPaths::StagedFolder(work)));
            EXPECT_FALSE(Exists(UpdateWorkPaths::PartsFolder(work)));
        } else {
            sawOld = true;
            EXPECT_FALSE(completed);
            EXPECT_EQ(FileBytes(install / L"Old.txt"), "old");
            EXPECT_FALSE(Exists(install / L"sub\\New.txt"));
            EXPECT_FALSE(Exists(install / L"Reg.dll"));
            EXPECT_EQ(pending, 3);
            // Staged files of this release may wait for the next commit; no others.
            if (stagedLeft) {
                sawOlderDiscarded = true;
                EXPECT_FALSE(Exists(olderStaged)) << "the older release's staged file stays";
            }
        }
        manager.reset();
        ExpectNothingOfTheRunLeft();
    }
    EXPECT_TRUE(completed);
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
    EXPECT_TRUE(sawOlderDiscarded) << "no ended run left staged files";
}

TEST_F(CommitRecoveryTest, ARunningProgramsFileIsReplaced) {
    const std::string probeBytes = FileBytes(ProbePath());
    tree.AddPackage("Runner.exe", probeBytes + "new", kStored);
    tree.PublishManifest(Section("Runner.exe", "ModifyDate=2024-03-01 10:00\nCheckDate=1\n"));
    updatetest::WriteTextFile(install / L"Runner.exe", probeBytes);
    updatetest::SetLocalWriteTime(install / L"Runner.exe", 2024, 2, 1, 9, 0, 0);
    const Process runner(install / L"Runner.exe", L"hold 60");
    ASSERT_TRUE(runner.Started());
    Sleep(500);

    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(notify.Events().back(), L"installed");
    EXPECT_EQ(runner.Wait(0), STILL_ACTIVE);
    EXPECT_EQ(FileBytes(install / L"Runner.exe"), probeBytes + "new");

    // The next release while the program still runs from the old file set aside.
    tree.AddPackage("Runner.exe", probeBytes + "newer", kStored);
    tree.PublishManifest(Section("Runner.exe", "ModifyDate=2024-03-02 10:00\nCheckDate=1\n"));
    RecreateManager(server.Url());
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    updatetest::RecordingNotify second;  // the fixture's has seen its phases end
    ASSERT_EQ(manager->StartDownload(&second, false), 1);
    ASSERT_TRUE(second.WaitForDownloadEnd());
    ASSERT_EQ(second.Events().back(), L"complete");
    manager->StartInstall(&second);
    ASSERT_TRUE(second.WaitForInstallEnd());
    EXPECT_EQ(second.Events().back(), L"installed");
    EXPECT_EQ(runner.Wait(0), STILL_ACTIVE);
    EXPECT_EQ(FileBytes(install / L"Runner.exe"), probeBytes + "newer");
}

std::wstring DigestOfBytes(const std::string& bytes) {
    const std::string hex = ToHex(CSha256::Of(bytes.data(), bytes.size()));
    return std::wstring(hex.begin(), hex.end());
}

std::wstring DigestOf(const std::wstring& path) { return DigestOfBytes(FileBytes(path)); }

// A signed run journals the signed SHA-256 of every target, plain files as well as DLLs, and
// the recovery of its commit checks each staged file against it: one changed after the process
// ended puts every old file back, also the one already in place, never a mix.
TEST_F(CommitRecoveryTest, RecoveryChecksEveryStagedFileAgainstItsSignedDigest) {
    manager.reset();
    const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
    const std::map<std::wstring, std::string> published = {
        {install / L"Old.txt", "new old"},
        {install / L"sub\\New.txt", "new"},
        {install / L"Reg.dll", updatetest::TestDllBytes(L"testreg_ok.dll")}};
    const struct {
        const char* name;
        bool spoilStagedText;
        bool recoveredNew;
    } cases[] = {
        {"staged files as verified", false, true},
        {"a staged plain file changed", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstallOldSet();
        const std::wstring folder = install.Path().substr(0, install.Path().size() - 1);
        // Ended when Old.txt is in place and New.txt is not yet.
        const Process probe(ProbePath(), server.Url() + L" \"" + folder + L"\" 3");
        ASSERT_TRUE(probe.Started());
        ASSERT_EQ(probe.Wait(60000), kKilled);
        ASSERT_EQ(FileBytes(install / L"Old.txt"), "new old");
        const auto journaled = CCommitJournal(UpdateWorkPaths::JournalFile(work)).Read();
        ASSERT_TRUE(journaled.has_value());
        ASSERT_EQ(journaled->size(), published.size());
        for (const JournalEntry& entry : *journaled) {
            ASSERT_EQ(published.count(entry.target), 1u) << Narrow(entry.target);
            EXPECT_EQ(entry.sha256, DigestOfBytes(published.at(entry.target)))
                << Narrow(entry.target);
            if (c.spoilStagedText && entry.target == install / L"sub\\New.txt") {
                ASSERT_TRUE(Exists(entry.staged));
                updatetest::WriteTextFile(entry.staged, "evil");
            }
        }

        RecreateManager(server.Url());
        const int pending = manager->CheckForUpdates();

        EXPECT_EQ(pending, c.recoveredNew ? 0 : 3);
        EXPECT_EQ(FileBytes(install / L"Old.txt"), c.recoveredNew ? "new old" : "old");
        EXPECT_EQ(Exists(install / L"sub\\New.txt"), c.recoveredNew);
        EXPECT_EQ(Exists(install / L"Reg.dll"), c.recoveredNew);
        if (c.recoveredNew) {
            EXPECT_EQ(FileBytes(install / L"sub\\New.txt"), "new");
        }
        manager.reset();
        ExpectNothingOfTheRunLeft();
    }
}

// The debug lines of this process while it lives.
class DebugLines {
public:
    DebugLines() {
        DebugOutput::SetObserver([this](const std::wstring& line) {
            const std::lock_guard<std::mutex> guard(lock);
            lines.push_back(line);
        });
    }
    ~DebugLines() { DebugOutput::SetObserver(nullptr); }
    std::ptrdiff_t CountStartingWith(const std::wstring& start) {
        const std::lock_guard<std::mutex> guard(lock);
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::wstring& line) { return line.starts_with(start); });
    }

private:
    std::mutex lock;
    std::vector<std::wstring> lines;
};

class PlantedJournalTest : public CommitRecoveryTest {
protected:
    std::wstring Work() const { return UpdateWorkPaths::WorkFolder(install.Path()); }
    std::wstring Staged(const wchar_t* name) const {
        return PathText::Join(UpdateWorkPaths::StagedFolder(Work()), name);
    }
    void Plant(const JournalEntry& entry) {
        CreateDirectoryW(Work().c_str(), nullptr);
        ASSERT_TRUE(CCommitJournal(UpdateWorkPaths::JournalFile(Work())).Write({entry}));
    }
    // The next run's check, which recovers first.
    void Recover() {
        tree.PublishManifest("");
        RecreateManager(server.Url());
        EXPECT_EQ(manager->CheckForUpdates(), 0);
        manager.reset();
    }
};

// A journal that names a place outside its commit, however it is written: recovery moves,
// deletes and registers nothing, and the staged files are discarded.
TEST_F(PlantedJournalTest, AJournalNamingAnyOtherPlaceTouchesNothing) {
    const testsupport::TestFolder elsewhere;
    const std::wstring outside = elsewhere / L"Out.dll";
    const std::wstring outsideName = PathText::FileNamePart(PathText::FolderPart(elsewhere.Path()));
    const std::wstring inside = install / L"A.dll";
    // Both folders lie in the temporary folder: ".." leads from one to the other.
    const std::wstring viaParent = install.Path() + L"..\\" + outsideName + L"\\Out.dll";
    const std::wstring stagedViaParent =
        UpdateWorkPaths::StagedFolder(Work()) + L"\\..\\..\\..\\" + outsideName + L"\\Out.dll";
    ASSERT_EQ(FullPathOf(viaParent), outside);
    ASSERT_EQ(FullPathOf(stagedViaParent), outside);
    const std::wstring unc = L"\\\\127.0.0.1\\C$\\" + outside.substr(3);
    const struct {
        const char* name;
        std::wstring target;
        std::wstring staged;
        std::wstring aside;
    } cases[] = {
        {"target outside", outside, Staged(L"0"), UpdateWorkPaths::AsidePath(outside)},
        {"target through ..", viaParent, Staged(L"0"), UpdateWorkPaths::AsidePath(viaParent)},
        {"UNC target", unc, Staged(L"0"), UpdateWorkPaths::AsidePath(unc)},
        {"old file's place outside", inside, Staged(L"0"), outside},
        {"staged file outside", inside, outside, UpdateWorkPaths::AsidePath(inside)},
        {"staged file through ..", inside, stagedViaParent, UpdateWorkPaths::AsidePath(inside)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        updatetest::CopyTestDll(L"testreg_ok.dll", outside);
        updatetest::CopyTestDll(L"testreg_ok.dll", Staged(L"0"));
        updatetest::WriteTextFile(inside, "old");
        const std::string outsideBytes = FileBytes(outside);
        // The digest would let a contained entry register: only the places refuse it.
        Plant({c.target, c.staged, c.aside, true, DigestOf(outside)});
        DebugLines lines;

        Recover();

        EXPECT_EQ(lines.CountStartingWith(
                      L"CInstallCommit::Recover, journal refused, nothing moved or registered: "),
                  1);
        EXPECT_EQ(FileBytes(outside), outsideBytes);
        EXPECT_EQ(FileBytes(inside), "old");
        for (const std::wstring& file : {outside, inside})
            EXPECT_EQ(updatetest::RegistrationCount(file), 0) << Narrow(file);
        EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(outside)));
        EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(inside)));
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
        EXPECT_FALSE(Exists(Staged(L"0")));
    }
}

// A commit into a folder of a FolderType the build allows (the temporary folder's, 60, in the
// test build) is recovered like one into the install folder: the process ended after the old
// file was set aside and before the new one was moved in.
TEST_F(PlantedJournalTest, ACommitIntoAnAllowedFolderTypesFolderIsRecoveredWhole) {
    wchar_t tempText[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempText);
    const std::wstring base = tempText;
    const testsupport::TestFolder elsewhere;
    ASSERT_EQ(elsewhere.Path().rfind(base, 0), 0u);
    const std::wstring target = elsewhere / L"Tool.txt";
    const std::wstring aside = UpdateWorkPaths::AsidePath(target);
    const struct {
        const char* name;
        std::wstring base;
        const char* expected;
        int refusals;
    } cases[] = {
        {"its base recorded", base, "new tool", 0},
        // Written before entries carried their base: only the install folder's targets count.
        {"no base recorded", L"", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(target.c_str());
        updatetest::WriteTextFile(aside, "old tool");
        updatetest::WriteTextFile(Staged(L"0"), "new tool");
        Plant({target, Staged(L"0"), aside, false, L"", c.base});
        DebugLines lines;

        Recover();

        EXPECT_EQ(lines.CountStartingWith(
                      L"CInstallCommit::Recover, journal refused, nothing moved or registered: "),
                  c.refusals);
        EXPECT_EQ(Exists(target) ? FileBytes(target) : std::string(), c.expected);
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
        EXPECT_FALSE(Exists(Staged(L"0")));
        if (c.refusals == 0) {
            EXPECT_FALSE(Exists(aside));
        }
        DeleteFileW(aside.c_str());
    }
}

// What a journal that cannot be read names is unknown: the run stops, and nothing is moved,
// removed or discarded, whether it is damaged or held open by another program.
TEST_F(PlantedJournalTest, AJournalThatCannotBeReadStopsTheRunAndDiscardsNothing) {
    const std::wstring journal = UpdateWorkPaths::JournalFile(Work());
    const std::wstring target = install / L"A.txt";
    const struct {
        const char* name;
        std::function<HANDLE()> spoil;  // a handle to close afterwards, if any
    } cases[] = {
        {"damaged",
         [&] {
             updatetest::WriteTextFile(journal, "PelkoWebLoader commit 3\n");
             return INVALID_HANDLE_VALUE;
         }},
        {"held without sharing",
         [&] {
             return CreateFileW(journal.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        updatetest::WriteTextFile(target, "old");
        updatetest::WriteTextFile(Staged(L"0"), "new");
        Plant({target, Staged(L"0"), UpdateWorkPaths::AsidePath(target), false});
        const HANDLE held = c.spoil();
        const std::string journalBytes = held == INVALID_HANDLE_VALUE ? FileBytes(journal) : "";
        DebugLines lines;

        Recover();
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(lines.CountStartingWith(L"CInstallCommit::Recover, the journal cannot be read"),
                  1);
        EXPECT_TRUE(Exists(journal));
        if (held == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(FileBytes(journal), journalBytes);
        }
        EXPECT_EQ(FileBytes(Staged(L"0")), "new");
        EXPECT_EQ(FileBytes(target), "old");
        EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(target)));
        DeleteFileW(journal.c_str());
    }
}

// A target in place is registered at recovery only when it holds the bytes its commit staged:
// not when it was changed since, nor when the journal (of the first form) knows no bytes.
TEST_F(PlantedJournalTest, RecoveryRegistersOnlyTheFileItsCommitStaged) {
    const std::wstring target = install / L"Reg.dll";
    const struct {
        const char* name;
        bool sameBytes;
        bool digestKnown;
        int registrations;
    } cases[] = {
        {"the staged bytes", true, true, 1},
        {"other bytes", false, true, 0},
        {"no digest", true, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((target + L".log").c_str());
        updatetest::CopyTestDll(L"testreg_ok.dll", target);
        std::wstring digest = DigestOf(target);
        if (!c.sameBytes) digest = DigestOf(ProbePath());
        // Placed before the process ended: no staged file is left, the registration is.
        Plant({target, Staged(L"0"), UpdateWorkPaths::AsidePath(target), true,
               c.digestKnown ? digest : L""});
        DebugLines lines;

        Recover();

        EXPECT_EQ(updatetest::RegistrationCount(target), c.registrations);
        EXPECT_EQ(lines.CountStartingWith(L"CInstallCommit, not registered: " + target),
                  1 - c.registrations);
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
    }
}

// Lets everyone change the folder; Wine, which keeps no access list, makes it mode 0777.
DWORD LetEveryoneChange(const std::wstring& folder) {
    const FolderSecurity::LocalDescriptor descriptor =
        FolderSecurity::DescriptorFromSddl(L"D:(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;WD)");
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted))
        return ERROR_INVALID_PARAMETER;
    std::wstring path = folder;
    return SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, dacl, nullptr);
}

// A commit writes nothing into a folder others may change: the whole commit is refused before
// its journal, and nothing is replaced.
TEST_F(PlantedJournalTest, ACommitIntoAFolderOthersMayChangeReplacesNothing) {
    const std::wstring sub = install / L"sub";
    const std::wstring target = install / L"sub\\A.txt";
    for (const bool othersMayChange : {false, true}) {
        SCOPED_TRACE(othersMayChange ? "others may change it" : "only this user");
        updatetest::WriteTextFile(target, "old");
        if (othersMayChange) {
            ASSERT_EQ(LetEveryoneChange(sub), DWORD{ERROR_SUCCESS});
        }
        CreateDirectoryW(Work().c_str(), nullptr);
        CreateDirectoryW(UpdateWorkPaths::StagedFolder(Work()).c_str(), nullptr);
        updatetest::WriteTextFile(Staged(L"0"), "new");
        CInstallCommit commit(UpdateWorkPaths::JournalFile(Work()));

        const bool committed =
            commit.Run({{target, Staged(L"0"), UpdateWorkPaths::AsidePath(target), false, L"",
                         install.Path()}},
                       nullptr);

        EXPECT_EQ(committed, !othersMayChange);
        EXPECT_EQ(FileBytes(target), othersMayChange ? "old" : "new");
        EXPECT_EQ(commit.ErrorText().starts_with(L"failed to replace file : the folder " + sub +
                                                 L" may be changed by others"),
                  othersMayChange)
            << Narrow(commit.ErrorText());
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
        DeleteFileW(Staged(L"0").c_str());
    }
}

// Recovery registers a DLL only while its place is trusted: the commit judged it, but the
// folder may have changed since.
TEST_F(PlantedJournalTest, RecoveryRegistersOnlyInAFolderNoOtherMayChange) {
    const std::wstring sub = install / L"lib";
    const std::wstring target = install / L"lib\\Reg.dll";
    for (const bool othersMayChange : {false, true}) {
        SCOPED_TRACE(othersMayChange ? "others may change it" : "only this user");
        DeleteFileW((target + L".log").c_str());
        updatetest::CopyTestDll(L"testreg_ok.dll", target);
        if (othersMayChange) {
            ASSERT_EQ(LetEveryoneChange(sub), DWORD{ERROR_SUCCESS});
        }
        Plant({target, Staged(L"0"), UpdateWorkPaths::AsidePath(target), true, DigestOf(target),
               install.Path()});
        DebugLines lines;

        Recover();

        EXPECT_EQ(updatetest::RegistrationCount(target), othersMayChange ? 0 : 1);
        EXPECT_EQ(lines.CountStartingWith(L"CInstallCommit, not registered: the folder " + sub +
                                          L" may be changed by others"),
                  othersMayChange ? 1 : 0);
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
    }
}

// A staged file is checked against the digest its commit recorded through the handle that moves
// it: one changed after its verification is not moved in, and every old file comes back.
TEST_F(PlantedJournalTest, AStagedFileChangedAfterItsVerificationIsNotMovedIn) {
    const std::wstring target = install / L"A.txt";
    const std::wstring aside = UpdateWorkPaths::AsidePath(target);
    const struct {
        const char* name;
        const char* staged;
        const char* expected;
        int refusals;
    } cases[] = {
        {"the verified bytes", "new", "new", 0},
        {"other bytes", "evil", "old", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        updatetest::WriteTextFile(target, "new");
        const std::wstring digest = DigestOf(target);
        // The process ended after the old file was set aside.
        DeleteFileW(target.c_str());
        updatetest::WriteTextFile(aside, "old");
        updatetest::WriteTextFile(Staged(L"0"), c.staged);
        Plant({target, Staged(L"0"), aside, false, digest});
        DebugLines lines;

        Recover();

        EXPECT_EQ(FileBytes(target), c.expected);
        EXPECT_EQ(lines.CountStartingWith(L"CInstallCommit, " + Staged(L"0") +
                                          L" is not the file the update verified"),
                  c.refusals);
        EXPECT_FALSE(Exists(aside));
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(Work())));
        EXPECT_FALSE(Exists(Staged(L"0")));
    }
}

// A package left half-way by a run that ended (its process ended while the package came) is
// resumed by the next run from where it stopped, and started again when the server answers
// the range with the whole body.
class ResumeTest : public CommitRecoveryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ResumeTest, AnInterruptedPackageIsFinishedByTheNextRun) {
    constexpr uint64_t kBigPackage = 64ull << 20;
    const bool serverResumes = GetParam();
    std::string data(kBigPackage, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 16));
    tree.AddPackage("Big.bin", data, kStored);
    tree.PublishManifest("[Big.bin]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n");
    server.HonourRanges(serverResumes);
    // A part is resumed only with the validator of the answer its bytes came in.
    server.SendLastModified(true);
    server.SetPace(1 << 20, 50);
    manager.reset();
    {
        const std::wstring folder = install.Path().substr(0, install.Path().size() - 1);
        const Process firstRun(ProbePath(), server.Url() + L" \"" + folder + L"\" 0");
        ASSERT_TRUE(firstRun.Started());
        for (int i = 0; i < 3000 && server.BodyBytesSent() < kBigPackage / 2; ++i) Sleep(10);
    }  // ended half-way
    server.SetPace(1 << 20, 0);
    const uint64_t firstRun = server.BodyBytesSent();
    ASSERT_LT(firstRun, kBigPackage);

    RecreateManager(server.Url());
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(notify.Events().back(), L"installed");
    EXPECT_TRUE(FileBytes(install / L"Big.bin") == data) << "the right bytes";

    const std::vector<std::string> ranges = server.Ranges();
    ASSERT_FALSE(ranges.empty());
    const std::string asked = ranges.back();
    ASSERT_EQ(asked.rfind("bytes=", 0), 0u) << asked;
    const uint64_t from = std::stoull(asked.substr(6));
    EXPECT_GT(from, kBigPackage / 4);
    EXPECT_LE(from, firstRun);
    if (serverResumes) {
        // About half, never the whole package again.
        EXPECT_LT(server.BodyBytesSent() - firstRun, kBigPackage * 3 / 4) << "only the rest";
    }
}

INSTANTIATE_TEST_SUITE_P(Server, ResumeTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Resumes" : "SendsAll"; });

}  // namespace
