// The update engine end to end: a real update tree over loopback HTTP, real files, real
// packages, a real DLL registration.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "EngineFixture.h"
#include "UpdateTestFiles.h"
#include "download/DebugLines.h"
#include "download/ProgressText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "support/updatetree/CTreeSigner.h"
#include "update/CRunLock.h"
#include "update/CInstalledRelease.h"
#include "update/UpdateWorkPaths.h"

namespace {

using updatetest::EngineFixture;
using updatetest::Exists;
using updatetest::FileBytes;
using updatetest::LocalWriteTime;
using updatetest::Narrow;
using updatetree::LocalTime;

const SYSTEMTIME kStored = LocalTime(2024, 3, 1, 10, 0, 4);
const char kRelease[] = "ModifyDate=2024-03-01 10:00\nCheckDate=1\n";

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

std::string Section(const std::string& name, const std::string& keys) {
    return "[" + name + "]\n" + keys + "Type=Common\n";
}

size_t Count(const std::vector<std::string>& requests, const std::string& path) {
    return static_cast<size_t>(std::count(requests.begin(), requests.end(), path));
}

// Every file below a folder, sub-folders included.
std::vector<std::wstring> Sorted(std::vector<std::wstring> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& file : FilesBelow(folder + L"\\" + name)) files.push_back(file);
        } else {
            files.push_back(folder + L"\\" + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

class UpdateManagerTest : public ::testing::Test, public EngineFixture {
protected:
    // Whether another run could take the install folder now, as no other launch waits while a
    // receiver shows an error.
    bool RunLockFree() {
        CRunLock other;
        const std::atomic<bool> cancel{false};
        return other.Acquire(UpdateWorkPaths::LockFile(Engine().WorkFolder()), 0, cancel);
    }
};

TEST_F(UpdateManagerTest, FullRunInstallsEveryOutOfDateFileOnce) {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    ASSERT_EQ(install.Path().rfind(temp, 0), 0u);
    ASSERT_EQ(install.Path().rfind(L"C:\\", 0), 0u);
    const std::wstring belowTemp = install.Path().substr(wcslen(temp));
    const std::wstring belowDrive = install.Path().substr(3);

    tree.AddPackage("A.dll", updatetest::TestDllBytes(L"testreg_ok.dll"), kStored);
    tree.AddPackage("B.dat", "new B", kStored);
    tree.AddPackage("C.txt", "new C", kStored);
    tree.AddPackage("Tool.exe", "new tool", kStored, "bin/Tool.exe");
    tree.AddPackage("Old.txt", "new old", kStored);
    tree.AddPackage("Current.txt", "must not come", kStored);
    tree.AddPackage("lower.txt", "must not come", kStored);
    tree.PublishManifest(
        Section("A.dll", std::string(kRelease) + "Register=1\n") +
        Section("B.dat", "FolderType=60\nTargetDir=" + Narrow(belowTemp) + "b\n" + kRelease) +
        Section("C.txt", "FolderType=67\nTargetDir=" + Narrow(belowDrive) + "c\n" + kRelease) +
        Section("Tool.exe", "TargetDir=tools\n") + Section("Old.txt", kRelease) +
        Section("Current.txt", "") + "[lower.txt]\nType=common\n");
    updatetest::WriteTextFile(install / L"Old.txt", "old");
    updatetest::SetLocalWriteTime(install / L"Old.txt", 2024, 2, 1, 9, 0, 0);
    updatetest::WriteTextFile(install / L"Current.txt", "current");
    // Copies an earlier build left in the prefix's cache folder; this run must write none.
    DeleteFileW((CacheFolder() + L"RudovuZado.ini").c_str());
    DeleteFileW((CacheFolder() + L"RudovuZado.ini.zip").c_str());

    ASSERT_EQ(manager->CheckForUpdates(), 5);
    ASSERT_TRUE(DownloadAll());
    const auto downloadEvents = notify.Events();
    ASSERT_FALSE(downloadEvents.empty());
    EXPECT_EQ(downloadEvents.back(), L"complete");
    EXPECT_EQ(std::count(downloadEvents.begin(), downloadEvents.end(), L"progress"),
              static_cast<long>(downloadEvents.size() - 1));
    const auto reports = notify.ProgressReports();
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end(),
                               [](const auto& a, const auto& b) { return a.index < b.index; }));
    EXPECT_EQ(reports.back().index, 5);
    EXPECT_EQ(reports.back().count, 5);
    // The package as the user knows it, not the run's part file.
    EXPECT_EQ(reports.back().path, install / L"Old.txt.zip");
    const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
    // Every download notification arrives on the manager's event thread.
    const auto threads = notify.Threads();
    EXPECT_TRUE(std::all_of(threads.begin(), threads.end(),
                            [&](DWORD id) { return id == threads.front(); }));
    EXPECT_NE(threads.front(), GetCurrentThreadId());
    EXPECT_FALSE(Exists(CacheFolder() + L"RudovuZado.ini"));
    EXPECT_FALSE(Exists(CacheFolder() + L"RudovuZado.ini.zip"));

    EXPECT_EQ(manager->StartInstall(&notify), 0);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    const auto allEvents = notify.Events();
    const std::vector<std::wstring> installEvents(allEvents.begin() + downloadEvents.size(),
                                                  allEvents.end());
    const std::vector<std::wstring> expected = {
        L"install:" + install / L"A.dll.zip:1/5",
        L"install:" + std::wstring(temp) + belowTemp + L"b\\B.dat.zip:2/5",
        L"install:C:\\" + belowDrive + L"c\\C.txt.zip:3/5",
        L"install:" + install / L"tools\\Tool.exe.zip:4/5",
        L"install:" + install / L"Old.txt.zip:5/5",
        L"installed"};
    EXPECT_EQ(installEvents, expected);

    const std::wstring installed[] = {install / L"A.dll", install / L"b\\B.dat",
                                      install / L"c\\C.txt", install / L"tools\\Tool.exe",
                                      install / L"Old.txt"};
    for (const auto& path : installed) {
        EXPECT_TRUE(SameSecond(LocalWriteTime(path), kStored)) << Narrow(path);
        EXPECT_FALSE(Exists(path + L".zip")) << Narrow(path);
    }
    EXPECT_EQ(FileBytes(install / L"b\\B.dat"), "new B");
    EXPECT_EQ(FileBytes(install / L"c\\C.txt"), "new C");
    // Written onto its entry's target, whatever folder the package stored it under.
    EXPECT_EQ(FileBytes(install / L"tools\\Tool.exe"), "new tool");
    EXPECT_FALSE(Exists(install / L"tools\\bin\\Tool.exe"));
    EXPECT_EQ(FileBytes(install / L"Old.txt"), "new old");
    EXPECT_EQ(FileBytes(install / L"Current.txt"), "current");
    EXPECT_FALSE(Exists(install / L"lower.txt"));
    EXPECT_EQ(updatetest::RegistrationCount(install / L"A.dll"), 1);
    const auto requests = server.Requests();
    EXPECT_EQ(Count(requests, "/RudovuZado/Current.txt.zip"), 0u);
    EXPECT_EQ(Count(requests, "/RudovuZado/lower.txt.zip"), 0u);

    // Nothing of the run is left in the install folder: no package, staged file, old file
    // or journal; only the run's lock file.
    const std::vector<std::wstring> left = FilesBelow(work.substr(0, work.size() - 1));
    // The accepted manifest package stays, so that the next check may ask only for a change,
    // and the install record, which knows what the commit installed.
    EXPECT_EQ(Sorted(left), Sorted({work + L"RudovuZado.ini.zip",
                                    UpdateWorkPaths::InstallRecordFile(work),
                                    UpdateWorkPaths::LockFile(work)}));
    for (const auto& path : installed) EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(path)));

    // Everything installed is current now: a check writes nothing in the install folder.
    const auto stamps = [&] {
        std::vector<std::pair<std::wstring, ULONGLONG>> all;
        // The folders too: a file made and deleted again changes its folder's time.
        std::vector<std::wstring> paths = {install.Path(), work};
        for (const auto& file : FilesBelow(install.Path().substr(0, install.Path().size() - 1)))
            paths.push_back(file);
        for (const auto& file : paths) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data);
            all.emplace_back(file, (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                       data.ftLastWriteTime.dwLowDateTime);
        }
        return all;
    };
    const auto before = stamps();
    EXPECT_EQ(manager->CheckForUpdates(), 0);
    EXPECT_EQ(stamps(), before);
    EXPECT_EQ(updatetest::RegistrationCount(install / L"A.dll"), 1);
}

TEST_F(UpdateManagerTest, EntriesThatLeaveTheirBaseFolderAreSkippedAndTheRestInstalled) {
    std::vector<std::wstring> lines;
    DebugOutput::SetObserver([&](const std::wstring& line) { lines.push_back(line); });
    tree.AddPackage("escA.txt", "outside", kStored);
    tree.AddPackage("unc.dll", updatetest::TestDllBytes(L"testreg_ok.dll"), kStored);
    tree.AddPackage("ok.txt", "inside", kStored);
    tree.PublishManifest(Section("escA.txt", "TargetDir=..\\escA\n") + Section("..\\escB.txt", "") +
                         Section("sub/escC.txt", "") +
                         Section("unc.dll",
                                 "FolderType=65536\nTargetDir=\\\\host.invalid\\share\n"
                                 "Register=1\n") +
                         Section("ok.txt", ""));
    const std::wstring outside = install.Path() + L"..\\escA";

    EXPECT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll(true));
    DebugOutput::SetObserver(nullptr);

    EXPECT_EQ(FileBytes(install / L"ok.txt"), "inside");
    EXPECT_FALSE(Exists(outside));
    const auto requests = server.Requests();
    EXPECT_EQ(Count(requests, "/RudovuZado/ok.txt.zip"), 1u);
    EXPECT_EQ(requests.size(), 2u);  // the manifest package and ok.txt
    const auto skipped = std::count_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.find(L"skipped") != std::wstring::npos;
    });
    EXPECT_EQ(skipped, 4);
}

// The manifest's FileSize bounds what its package may bring: a longer body is cut off and
// leaves no file beside the target.
TEST_F(UpdateManagerTest, APackageLongerThanItsFileSizeAllowsIsRefused) {
    // Unsigned, so that the manifest's FileSize is the one written here; beyond its slack of
    // 64 KiB and the records' room.
    tree.SetSigning({updatetree::CUpdateTree::Signing::Key::none, {}, {}, {}});
    tree.AddPackage("big.txt", std::string(400 * 1024, 'x'), kStored);
    tree.PublishManifest(Section("big.txt", "FileSize=10\n"));

    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll(true));

    const auto events = notify.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().rfind(L"error:", 0), 0u);
    manager.reset();  // waits for the download thread, which reports before it cleans up
    EXPECT_FALSE(Exists(install / L"big.txt.zip"));
    EXPECT_FALSE(Exists(install / L"big.txt"));
}

// A deflated package small enough to arrive still declares its file: beyond the manifest's
// FileSize it is refused before anything is written, and the run fails.
TEST_F(UpdateManagerTest, AFileLargerThanItsFileSizeIsNotUnpacked) {
    tree.SetSigning({updatetree::CUpdateTree::Signing::Key::none, {}, {}, {}});
    tree.AddPackage("big.txt", std::string(4 << 20, 'x'), kStored, "", true);
    tree.PublishManifest(Section("big.txt", "FileSize=10\n"));

    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    ASSERT_EQ(notify.Events().back(), L"complete");
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());

    EXPECT_EQ(notify.Events().back().rfind(L"install-error:failed to extract file : ", 0), 0u);
    EXPECT_FALSE(Exists(install / L"big.txt"));
    const std::wstring staged =
        UpdateWorkPaths::StagedFolder(UpdateWorkPaths::WorkFolder(install.Path()));
    EXPECT_TRUE(!Exists(staged) || std::filesystem::is_empty(staged));
}

// An unsigned manifest's FileSize, written by hand, may fall a little short of its file: within
// the slack the file is installed, beyond it not (neither its package fetched nor its file
// unpacked: a deflated one declares its size).
TEST_F(UpdateManagerTest, AnUnsignedFileSizeLeavesSomeSlack) {
    tree.SetSigning({updatetree::CUpdateTree::Signing::Key::none, {}, {}, {}});
    const struct {
        const char* name;
        size_t bytes;
        bool deflated;
        bool installed;
    } cases[] = {
        {"stored, within", 64 * 1024 + 10, false, true},
        {"deflated, within", 64 * 1024 + 10, true, true},
        {"stored, beyond", 64 * 1024 + 11, false, false},
        {"deflated, beyond", 64 * 1024 + 11, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((install / L"a.txt").c_str());
        tree.AddPackage("a.txt", std::string(c.bytes, 'a'), kStored, "", c.deflated);
        tree.PublishManifest(Section("a.txt", "FileSize=10\n"));
        RecreateManager(server.Url());
        notify.Reset();
        ASSERT_EQ(manager->CheckForUpdates(), 1);
        ASSERT_TRUE(DownloadAll());
        manager->StartInstall(&notify);
        ASSERT_TRUE(notify.WaitForInstallEnd());
        EXPECT_EQ(notify.Events().back() == L"installed", c.installed)
            << Narrow(notify.Events().back());
        EXPECT_EQ(Exists(install / L"a.txt"), c.installed);
    }
}

// A file already in place is registered at every check only inside the install folder.
TEST_F(UpdateManagerTest, PresentFilesAreRegisteredAgainOnlyInsideTheInstallFolder) {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const testsupport::TestFolder elsewhere;
    ASSERT_EQ(elsewhere.Path().rfind(temp, 0), 0u);
    const std::wstring belowTemp = elsewhere.Path().substr(wcslen(temp));
    updatetest::CopyTestDll(L"testreg_ok.dll", install / L"In.dll");
    updatetest::CopyTestDll(L"testreg_ok.dll", elsewhere / L"Out.dll");
    tree.PublishManifest(
        Section("In.dll", "Register=1\n") +
        Section("Out.dll", "FolderType=60\nTargetDir=" + Narrow(belowTemp) + "\nRegister=1\n"));

    EXPECT_EQ(manager->CheckForUpdates(), 0);
    EXPECT_EQ(updatetest::RegistrationCount(install / L"In.dll"), 1);
    EXPECT_EQ(updatetest::RegistrationCount(elsewhere / L"Out.dll"), 0);
}

TEST_F(UpdateManagerTest, BackslashesInTheUpdateUrlBecomeSlashes) {
    tree.AddPackage("A.txt", "a", kStored);
    tree.PublishManifest(Section("A.txt", ""));
    RecreateManager(L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"\\Patch");

    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    EXPECT_EQ(notify.Events().back(), L"complete");
    const std::vector<std::string> expected = {"/RudovuZado.ini.zip", "/RudovuZado/A.txt.zip"};
    EXPECT_EQ(server.Requests(), expected);
}

TEST_F(UpdateManagerTest, NothingOfTheFilteredTypeStartsNothing) {
    tree.AddPackage("A.txt", "a", kStored);
    tree.PublishManifest("[A.txt]\nType=Other\n[B.txt]\n");

    EXPECT_EQ(manager->CheckForUpdates(), 0);
    EXPECT_EQ(manager->StartDownload(&notify, false), 0);
    EXPECT_EQ(manager->StartInstall(&notify), 0);
    EXPECT_TRUE(notify.Events().empty());
    EXPECT_FALSE(notify.WaitForDownloadEnd(200));
    const std::vector<std::string> expected = {"/RudovuZado.ini.zip", "/RudovuZado.ini.zip"};
    EXPECT_EQ(server.Requests(), expected);  // StartDownload ran the check once more
}

// A process of this test program that never runs a line: alive until it is ended.
class IdleProcess {
public:
    IdleProcess() {
        wchar_t program[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(program) + L"\" --gtest_list_tests";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startup, &process))
            throw std::runtime_error("no process");
    }
    ~IdleProcess() { End(); }
    DWORD Id() const { return process.dwProcessId; }
    void End() {
        if (!process.hProcess) return;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        process = {};
    }

private:
    PROCESS_INFORMATION process = {};
};

// Runs that crashed leave their manifest folder in the temporary folder; the next run removes
// those of ended processes and nothing else.
TEST_F(UpdateManagerTest, ManifestFoldersOfEndedProcessesAreRemovedByTheNextRun) {
    wchar_t tempPath[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, tempPath);
    const std::wstring temp = tempPath;
    auto makeFolder = [&](const std::wstring& name) {
        const std::wstring folder = temp + name;
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(name);
        updatetest::WriteTextFile(folder + L"\\RudovuZado.ini", "[A.txt]\n");
        return folder;
    };
    auto name = [](DWORD process, unsigned n) {
        return UpdateWorkPaths::TempRunFolderName(process, n);
    };
    // Started while the other one lives, so that it cannot be given the ended one's id.
    IdleProcess before;
    IdleProcess ended;
    const DWORD endedId = ended.Id();
    ended.End();
    Sleep(50);
    const struct {
        std::wstring folder;
        bool removed;
    } cases[] = {
        {makeFolder(name(endedId, 1)), true},
        {makeFolder(name(before.Id(), 2)), false},                        // its process is running
        {makeFolder(name(GetCurrentProcessId(), 3)), false},              // this process's
        {makeFolder(L"PelkoUpdate-" + std::to_wstring(endedId)), false},  // not a run's name
    };
    // A file under a run's name is no run's folder.
    const std::wstring plainFile = temp + name(endedId, 4);
    updatetest::WriteTextFile(plainFile, "x");
    // Made before its process started: the id was given again after the run that made it.
    const std::wstring reused = makeFolder(L"reused-later");
    Sleep(50);
    IdleProcess after;
    const std::wstring reusedFolder = temp + name(after.Id(), 5);
    ASSERT_TRUE(MoveFileW(reused.c_str(), reusedFolder.c_str()));

    tree.PublishManifest("[A.txt]\nType=Common\n");
    tree.AddPackage("A.txt", "a", kStored);
    EXPECT_EQ(manager->CheckForUpdates(), 1);

    for (const auto& c : cases) {
        EXPECT_EQ(Exists(c.folder), !c.removed) << Narrow(c.folder);
        DeleteFileW((c.folder + L"\\RudovuZado.ini").c_str());
        RemoveDirectoryW(c.folder.c_str());
    }
    EXPECT_FALSE(Exists(reusedFolder));
    EXPECT_TRUE(Exists(plainFile));
    DeleteFileW(plainFile.c_str());
}

TEST_F(UpdateManagerTest, MissingManifestPackageIsAskedForOnceThenNothingToDo) {
    EXPECT_EQ(manager->CheckForUpdates(), 0);
    EXPECT_EQ(manager->GetLastErrorCode(), 0x10021001u);
    const std::wstring text = manager->GetLastErrorText();
    EXPECT_EQ(text.rfind(L"failed to download file : ", 0), 0u) << Narrow(text);
    EXPECT_NE(text.find(L"RudovuZado.ini.zip (Failed to receive a valid HTTP response from the "
                        L"server, Response Code:404)"),
              std::wstring::npos)
        << Narrow(text);
    const std::vector<std::string> expected = {"/RudovuZado.ini.zip"};
    EXPECT_EQ(server.Requests(), expected);
}

TEST_F(UpdateManagerTest, HttpErrorForOnePackageEndsThePhaseWithTheDownloadersText) {
    for (const char* name : {"A.txt", "B.txt", "C.txt"}) tree.AddPackage(name, name, kStored);
    tree.PublishManifest(Section("A.txt", "") + Section("B.txt", "") + Section("C.txt", ""));
    server.AnswerStatus("/RudovuZado/B.txt.zip", 404);
    bool lockFreeAtError = false;
    notify.onError = [&] { lockFreeAtError = RunLockFree(); };

    ASSERT_EQ(manager->CheckForUpdates(), 3);
    ASSERT_TRUE(DownloadAll(true));
    const std::wstring text =
        L"Failed to receive a valid HTTP response from the server, Response Code:404";
    manager.reset();
    const auto events = notify.Events();
    EXPECT_EQ(events.back(), L"error:" + text);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::wstring& e) { return e != L"progress"; }),
              1);
    EXPECT_TRUE(lockFreeAtError);
}

TEST_F(UpdateManagerTest, ErrorTextIsKeptAfterALaterSuccess) {
    tree.AddPackage("A.txt", "a", kStored);
    EXPECT_EQ(manager->CheckForUpdates(), 0);
    tree.PublishManifest(Section("A.txt", ""));
    EXPECT_EQ(manager->CheckForUpdates(), 1);
    EXPECT_EQ(manager->GetLastErrorCode(), 0x10021001u);
}

TEST_F(UpdateManagerTest, StopDuringTheLastPackageEndsThePhaseStopped) {
    tree.AddPackage("A.bin", std::string(512 * 1024, 'a'), kStored);
    tree.PublishManifest(Section("A.bin", ""));
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    // The rest of the body never comes: only the stop can end the phase.
    server.HoldAfter(64 * 1024);
    notify.onProgress = [this](const auto&) { manager->StopDownload(); };

    ASSERT_TRUE(DownloadAll(true));
    const auto events = notify.Events();
    EXPECT_EQ(events.back(), L"stopped");
    EXPECT_EQ(std::count(events.begin(), events.end(), L"complete"), 0);
}

TEST_F(UpdateManagerTest, AReceiverThatThrowsStillGetsOneFinalReport) {
    tree.AddPackage("A.bin", std::string(512 * 1024, 'a'), kStored);
    tree.AddPackage("B.bin", "b", kStored);
    tree.PublishManifest(Section("A.bin", "") + Section("B.bin", ""));
    ASSERT_EQ(manager->CheckForUpdates(), 2);
    server.SetPace(16 * 1024, 20);
    notify.onProgress = [](const auto&) { throw std::runtime_error("receiver failed"); };
    // The throw ends the run: the folder is free for another launch when the error is heard.
    bool lockFreeAtError = false;
    notify.onError = [&] { lockFreeAtError = RunLockFree(); };

    ASSERT_TRUE(DownloadAll(true));
    manager.reset();
    const auto events = notify.Events();
    EXPECT_EQ(events,
              (std::vector<std::wstring>{L"progress", L"error:Failed to download the update"}));
    EXPECT_TRUE(lockFreeAtError);
    EXPECT_FALSE(Exists(install / L"A.bin"));
    EXPECT_FALSE(Exists(install / L"B.bin"));
}

TEST_F(UpdateManagerTest, InstallWhenDoneInstallsBeforeCompleteWithoutInstallNotifications) {
    tree.AddPackage("A.txt", "new a", kStored);
    tree.PublishManifest(Section("A.txt", ""));
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    std::string seenAtComplete;
    notify.onComplete = [&] { seenAtComplete = FileBytes(install / L"A.txt"); };

    ASSERT_TRUE(DownloadAll(true));
    EXPECT_EQ(seenAtComplete, "new a");
    EXPECT_FALSE(Exists(install / L"A.txt.zip"));
    for (const auto& event : notify.Events())
        EXPECT_EQ(event.rfind(L"install", 0), std::wstring::npos);
}

TEST_F(UpdateManagerTest, StartDownloadWithoutACheckRunsTheCheckItself) {
    tree.AddPackage("A.txt", "a", kStored);
    tree.PublishManifest(Section("A.txt", ""));
    ASSERT_TRUE(DownloadAll());
    EXPECT_EQ(notify.Events().back(), L"complete");
    ASSERT_EQ(Engine().PackagePaths().size(), 1u);
    EXPECT_TRUE(Exists(Engine().PackagePaths().front()));
}

TEST_F(UpdateManagerTest, ProgressSumsEveryPackageAsOneTransfer) {
    const std::string sizes[] = {std::string(3000, 'a'), std::string(70000, 'b'),
                                 std::string(500, 'c')};
    std::string manifest;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "P" + std::to_string(i) + ".bin";
        tree.AddPackage(name, sizes[i], kStored);
        manifest += Section(name, "");
    }
    tree.PublishManifest(manifest);
    ASSERT_EQ(manager->CheckForUpdates(), 3);

    ASSERT_TRUE(DownloadAll());
    const auto reports = notify.ProgressReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end(), [](const auto& a, const auto& b) {
        return a.overallPercent < b.overallPercent;
    }));
    for (const auto& report : reports) {
        EXPECT_EQ(report.count, 3);
        // The files' 73,500 bytes, not their packages'.
        EXPECT_EQ(report.total, ProgressText::SizeText(73500));
    }
    EXPECT_EQ(reports.back().overallPercent, 100);
    EXPECT_EQ(reports.back().received, ProgressText::SizeText(73500));
}

TEST_F(UpdateManagerTest, PackagesAreFetchedAtOnceOverNoMoreConnectionsThanTheBuildAllows) {
    // More packages than connections: the later ones must come over connections kept open.
    const int packages = CUpdateManagerLite::kParallelDownloads + 4;
    std::string manifest;
    for (int i = 0; i < packages; ++i) {
        const std::string name = "P" + std::to_string(i) + ".txt";
        tree.AddPackage(name, "new " + name, kStored);
        manifest += Section(name, "");
    }
    tree.PublishManifest(manifest);
    // Held until one more than the build's count are in, which a sound manager never sends:
    // the requests it has open at once all wait together, up to 3 s.
    const size_t allowed = static_cast<size_t>(CUpdateManagerLite::kParallelDownloads);
    server.HoldPackagesUntilTogether(allowed + 1, std::chrono::seconds(3));
    ASSERT_EQ(manager->CheckForUpdates(), packages);

    ASSERT_TRUE(DownloadAll());
    EXPECT_EQ(notify.Events().back(), L"complete");
    // One at a time would have one waiting; more than the count would end the hold early.
    EXPECT_GE(server.MostPackagesHeldTogether(), std::min<size_t>(2, allowed))
        << "no two packages were asked for at once";
    EXPECT_LE(server.MostPackagesHeldTogether(), allowed);
    const auto paths = server.Requests();
    const auto connections = server.RequestConnections();
    std::set<int> packageConnections;
    for (size_t i = 0; i < paths.size(); ++i)
        if (paths[i].rfind("/RudovuZado/", 0) == 0) packageConnections.insert(connections[i]);
    EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                            [](const auto& path) { return path.rfind("/RudovuZado/", 0) == 0; }),
              packages);
    EXPECT_LE(packageConnections.size(), allowed);
    std::printf("%zu package requests at once, over %zu connections\n",
                server.MostPackagesHeldTogether(), packageConnections.size());
}

TEST_F(UpdateManagerTest, OneFailingPackageAmongParallelFetchesIsOneErrorAndReplacesNothing) {
    std::string manifest;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "F" + std::to_string(i) + ".txt";
        tree.AddPackage(name, "new " + name, kStored);
        manifest += Section(name, "");
    }
    tree.PublishManifest(manifest);
    server.AnswerStatus("/RudovuZado/F3.txt.zip", 404);
    ASSERT_EQ(manager->CheckForUpdates(), 8);
    // The lock is free while the receiver shows the error: no other launch waits for it.
    bool lockFreeAtError = false;
    notify.onError = [&] { lockFreeAtError = RunLockFree(); };

    ASSERT_TRUE(DownloadAll(true));
    const auto events = notify.Events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const auto& e) { return e.rfind(L"error:", 0) == 0; }),
              1);
    EXPECT_EQ(events.back(),
              L"error:Failed to receive a valid HTTP response from the server, Response Code:404");
    EXPECT_TRUE(lockFreeAtError);
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(Exists(install / (L"F" + std::to_wstring(i) + L".txt"))) << i;
}

// Under signed updates the staged files are known by their signed digest; an unsigned run has
// nothing that tells their bytes, so it fetches and stages them anew.
class PostponedCommitTest : public UpdateManagerTest, public ::testing::WithParamInterface<bool> {
protected:
    std::vector<PublicKey> Keys() const {
        return GetParam() ? std::vector<PublicKey>{updatetree::CTreeSigner::TestKey().Public()}
                          : std::vector<PublicKey>{};
    }
};

TEST_P(PostponedCommitTest, ABusyTargetPostponesTheCommitAndOnlyASignedRunCommitsWithoutFetching) {
    RecreateManager(server.Url(), Keys());
    for (const wchar_t* name : {L"A.txt", L"B.txt"}) {
        tree.AddPackage(Narrow(name), "new " + Narrow(name), kStored);
        updatetest::WriteTextFile(install / name, "old");
        updatetest::SetLocalWriteTime(install / name, 2024, 2, 1, 9, 0, 0);
    }
    tree.PublishManifest(Section("A.txt", kRelease) + Section("B.txt", kRelease));
    // A running program holds B.txt without delete sharing.
    HANDLE holder = CreateFileW((install / L"B.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_EQ(manager->CheckForUpdates(), 2);
    ASSERT_TRUE(DownloadAll());
    {
        const downloadtest::DebugLines lines;
        manager->StartInstall(&notify);
        ASSERT_TRUE(notify.WaitForInstallEnd());
        EXPECT_EQ(lines.CountStartingWith(L"CInstallLite::Install, postponed: " +
                                          install / L"B.txt" + L" is in use;"),
                  1)
            << "the log names the file in use";
    }
    CloseHandle(holder);
    EXPECT_EQ(notify.Events().back(), L"install-stopped");
    EXPECT_EQ(FileBytes(install / L"A.txt"), "old");
    EXPECT_EQ(FileBytes(install / L"B.txt"), "old");
    const size_t packageRequests = server.Requests().size() - 1;
    EXPECT_EQ(packageRequests, 2u);

    // Free now: the next run commits the staged files, fetching only the manifest when signed.
    RecreateManager(server.Url(), Keys());
    notify.Reset();
    ASSERT_EQ(manager->CheckForUpdates(), 2);
    ASSERT_TRUE(DownloadAll());
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(notify.Events().back(), L"installed");
    EXPECT_EQ(FileBytes(install / L"A.txt"), "new A.txt");
    EXPECT_EQ(FileBytes(install / L"B.txt"), "new B.txt");
    const auto requests = server.Requests();
    EXPECT_EQ(Count(requests, "/RudovuZado/A.txt.zip") + Count(requests, "/RudovuZado/B.txt.zip"),
              GetParam() ? 2u : 4u);
    // Nothing of the committed release is left to fetch or stage; a signed one is recorded as
    // the installed release.
    const std::wstring work = Engine().WorkFolder();
    std::vector<std::wstring> kept{work + L"RudovuZado.ini.zip",
                                   UpdateWorkPaths::InstallRecordFile(work),
                                   UpdateWorkPaths::LockFile(work)};
    if (GetParam()) kept.push_back(work + CInstalledRelease::fileName);
    EXPECT_EQ(Sorted(FilesBelow(work.substr(0, work.size() - 1))), Sorted(kept));
}

// Five launches in a row postponed by a busy target pass quietly; the sixth names the file in a
// box, the seventh (the same day) does not.
TEST_F(UpdateManagerTest, ACommitPostponedMoreThanFiveLaunchesInARowNamesTheBusyFileOnceADay) {
    const std::vector<PublicKey> keys{updatetree::CTreeSigner::TestKey().Public()};
    tree.AddPackage("B.txt", "new", kStored);
    updatetest::WriteTextFile(install / L"B.txt", "old");
    updatetest::SetLocalWriteTime(install / L"B.txt", 2024, 2, 1, 9, 0, 0);
    tree.PublishManifest(Section("B.txt", kRelease));
    std::vector<std::wstring> boxes;
    UserMessage::SetObserver([&](HWND, const std::wstring& text, const std::wstring&, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    const HANDLE holder = CreateFileW((install / L"B.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::vector<size_t> boxesAfterLaunch;
    for (int launch = 1; launch <= 7; ++launch) {
        RecreateManager(server.Url(), keys);
        notify.Reset();
        ASSERT_EQ(manager->CheckForUpdates(), 1) << launch;
        ASSERT_TRUE(DownloadAll()) << launch;
        manager->StartInstall(&notify);
        ASSERT_TRUE(notify.WaitForInstallEnd()) << launch;
        EXPECT_EQ(notify.Events().back(), L"install-stopped") << launch;
        boxesAfterLaunch.push_back(boxes.size());
    }
    CloseHandle(holder);
    UserMessage::SetObserver(nullptr);
    EXPECT_EQ(boxesAfterLaunch, (std::vector<size_t>{0, 0, 0, 0, 0, 1, 1}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(install / L"B.txt"), std::wstring::npos) << Narrow(boxes[0]);
    EXPECT_EQ(FileBytes(install / L"B.txt"), "old");
}

INSTANTIATE_TEST_SUITE_P(Signing, PostponedCommitTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "signed" : "unsigned";
                         });

// A package that cannot be staged fails the whole run: nothing is replaced, one error names
// it. (A package held open for writing elsewhere refuses the installer's read the same way for
// every user.)
enum class Spoil { Missing, HeldOpen, Empty, Damaged };

class InstallSpoiledPackageTest : public UpdateManagerTest,
                                  public ::testing::WithParamInterface<Spoil> {};

TEST_P(InstallSpoiledPackageTest, FailsTheRunAndReplacesNothing) {
    tree.AddPackage("First.txt", "new first", kStored);
    tree.AddPackage("Second.txt", "new second", kStored);
    tree.PublishManifest(Section("First.txt", kRelease) + Section("Second.txt", ""));
    updatetest::WriteTextFile(install / L"First.txt", "old first");
    updatetest::SetLocalWriteTime(install / L"First.txt", 2024, 2, 1, 9, 0, 0);
    ASSERT_EQ(manager->CheckForUpdates(), 2);
    ASSERT_TRUE(DownloadAll());
    // The second package is spoiled: the first is staged before the failure is found.
    const std::wstring second = Engine().PackagePaths().at(1);
    HANDLE holder = INVALID_HANDLE_VALUE;
    switch (GetParam()) {
        case Spoil::Missing:
            DeleteFileW(second.c_str());
            break;
        case Spoil::HeldOpen:
            holder = CreateFileW(second.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
            break;
        case Spoil::Empty:
            updatetest::WriteTextFile(second, "");
            break;
        case Spoil::Damaged:
            updatetest::WriteTextFile(second, FileBytes(second).substr(0, 40) + "garbage");
            break;
    }
    const size_t before = notify.Events().size();
    bool lockFreeAtError = false;
    notify.onInstallError = [&] { lockFreeAtError = RunLockFree(); };

    manager->StartInstall(&notify);
    const bool ended = notify.WaitForInstallEnd();
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    ASSERT_TRUE(ended);
    const auto all = notify.Events();
    const std::vector<std::wstring> events(all.begin() + before, all.end());
    ASSERT_EQ(events.size(), 1u);
    // Named as the user knows the package: its target followed by ".zip".
    EXPECT_EQ(events[0].rfind(
                  L"install-error:failed to extract file : " + install / L"Second.txt.zip", 0),
              0u)
        << Narrow(events[0]);
    EXPECT_EQ(std::wstring(manager->GetLastErrorText()), events[0].substr(14));
    EXPECT_TRUE(lockFreeAtError) << "the folder is free while the error is shown";
    EXPECT_EQ(FileBytes(install / L"First.txt"), "old first");
    EXPECT_FALSE(Exists(install / L"Second.txt"));
    const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
    EXPECT_FALSE(Exists(UpdateWorkPaths::StagedFolder(work)));
    EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(work)));
}

INSTANTIATE_TEST_SUITE_P(Packages, InstallSpoiledPackageTest,
                         ::testing::Values(Spoil::Missing, Spoil::HeldOpen, Spoil::Empty,
                                           Spoil::Damaged));

class StopInstallTest : public UpdateManagerTest {
protected:
    void SetUp() override {
        tree.AddPackage("A.txt", "a", kStored);
        tree.AddPackage("B.txt", "b", kStored);
        tree.AddPackage("C.dll", updatetest::TestDllBytes(L"testreg_ok.dll"), kStored);
        tree.PublishManifest(Section("A.txt", "") + Section("B.txt", "") +
                             Section("C.dll", "Register=1\n"));
        ASSERT_EQ(manager->CheckForUpdates(), 3);
        ASSERT_TRUE(DownloadAll());
        before = notify.Events().size();
    }
    std::vector<std::wstring> InstallEvents() const {
        const auto all = notify.Events();
        return std::vector<std::wstring>(all.begin() + before, all.end());
    }
    size_t before = 0;
};

TEST_F(StopInstallTest, BeforeTheStartHasNoEffect) {
    manager->StopInstall();
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(InstallEvents().back(), L"installed");
    EXPECT_EQ(InstallEvents().size(), 4u);
    EXPECT_EQ(updatetest::RegistrationCount(install / L"C.dll"), 1);
}

TEST_F(StopInstallTest, DuringTheCommitLetsItFinishWithRegistration) {
    notify.onInstallProgress = [this](int done) {
        if (done == 1) manager->StopInstall();
    };
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    const std::vector<std::wstring> expected = {
        L"install:" + install / L"A.txt.zip:1/3", L"install:" + install / L"B.txt.zip:2/3",
        L"install:" + install / L"C.dll.zip:3/3", L"installed"};
    EXPECT_EQ(InstallEvents(), expected);
    EXPECT_EQ(FileBytes(install / L"B.txt"), "b");
    EXPECT_EQ(updatetest::RegistrationCount(install / L"C.dll"), 1);
}

}  // namespace
