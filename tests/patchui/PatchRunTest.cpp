// The patch window over the real update engine: an update tree served over loopback, the
// real install folder of the prefix, real packages, a real DLL registration, real boxes.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "download/DebugLines.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "loader/CPelkoWebDLL.h"
#include "loader/InstallFolder.h"
#include "loader/LaunchFixture.h"
#include "loader/PatchStep.h"
#include "patchui/CPatchDlg.h"
#include "patchui/PictureHost.h"
#include "resources/ProductVersion.h"
#include "support/common/ProcessThreads.h"
#include "support/common/TestFolder.h"
#include "support/httpserver/CImpairmentServer.h"
#include "support/httpserver/CLoopbackHttpServer.h"
#include "support/ui/MessageBoxWatcher.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CCommitJournal.h"
#include "update/CUpdateCheck.h"
#include "update/IUpdateManagerLite.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"

// Set by a test: called at every commit step of the engine in this program.
std::function<void(unsigned)> g_onCommitStep;

void CommitStepReached(unsigned step) {
    if (g_onCommitStep) g_onCommitStep(step);
}

// Set by a test: called before each registration again of a DLL in place.
std::function<void()> g_onReRegistration;

void ReRegistrationReached() {
    if (g_onReRegistration) g_onReRegistration();
}

namespace {

using updatetree::LocalTime;

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM result) {
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// The visible dialog of a thread, once it shows; null when none shows within a few seconds.
HWND WaitForDialogOf(DWORD threadId) {
    for (int i = 0; i < 500; ++i) {
        HWND found = nullptr;
        EnumThreadWindows(threadId, &FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
        if (found) return found;
        Sleep(10);
    }
    return nullptr;
}

std::wstring DigestOf(const std::string& bytes) {
    const std::string hex = ToHex(CSha256::Of(bytes.data(), bytes.size()));
    return std::wstring(hex.begin(), hex.end());
}

const SYSTEMTIME kStored = LocalTime(2024, 3, 1, 10, 0, 4);
const char kRelease[] = "ModifyDate=2024-03-01 10:00\nCheckDate=1\n";
// The files the packages of these tests install, below the install folder.
const wchar_t* const kInstalled[] = {L"PatchA.dll", L"PatchA.dll.log", L"PatchB.txt",
                                     L"patchsub\\PatchC.txt", L"PatchBig.bin"};

std::string Section(const std::string& name, const std::string& keys) {
    return "[" + name + "]\n" + keys + "Type=Common\n";
}

class PatchRunTest : public LaunchFixture {
protected:
    void SetUp() override {
        LaunchFixture::SetUp();
        RemoveInstalled();
        // The user's log of this process and the programs it starts.
        SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
        server.Stop();
        RemoveInstalled();
        LaunchFixture::TearDown();
    }
    std::string Log() const { return ReadBytes(appData / L"Pelko\\Logs\\PelkoWebLoader.log"); }
    static void RemoveInstalled() {
        for (const wchar_t* name : kInstalled) {
            DeleteSoon(InInstallFolder(name));
            DeleteSoon(InInstallFolder(std::wstring(name) + L".zip"));
            DeleteSoon(UpdateWorkPaths::AsidePath(InInstallFolder(name)));
        }
        RemoveDirectoryW(InInstallFolder(L"patchsub").c_str());
    }

    // The server text a web page would pass; the launch appends "Patch".
    std::wstring Server() const {
        return L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/CvUpdate/Pelko";
    }
    std::wstring UpdateUrl() const { return Server() + L"Patch"; }
    INT_PTR RunDialog() {
        CPatchDlg dialog(UpdateUrl(), kInstallFolder);
        return dialog.DoModal();
    }
    // None of the packages' files, nor a registration, in the places they install to.
    static void ExpectNothingInstalled() {
        for (const wchar_t* name : kInstalled)
            EXPECT_FALSE(Exists(InInstallFolder(name))) << Utf8(name) << " is installed";
    }
    void PublishThreeFiles() {
        tree.AddPackage("PatchA.dll", ReadBytes(ProgramFolder() + L"testreg_ok.dll"), kStored);
        tree.AddPackage("PatchB.txt", "new B", kStored);
        tree.AddPackage("PatchC.txt", "new C", kStored);
        tree.PublishManifest(Section("PatchA.dll", std::string(kRelease) + "Register=1\n") +
                             Section("PatchB.txt", kRelease) +
                             Section("PatchC.txt", std::string("TargetDir=patchsub\n") + kRelease));
    }

    testsupport::TestFolder appData;
    testsupport::TestFolder treeFolder;
    updatetree::CUpdateTree tree{treeFolder.Path()};
    updatetree::CUpdateTreeServer server{treeFolder.Path(), "/CvUpdate/PelkoPatch"};
};

TEST_F(PatchRunTest, FullUpdateInstallsRegistersAndEndsWith1ThenFetchesNothingAgain) {
    PublishThreeFiles();
    MessageBoxWatcher boxes;
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"patchsub\\PatchC.txt")), "new C");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchA.dll.log")).rfind("register", 0), 0u)
        << "the DLL marked Register was registered";
    EXPECT_FALSE(Exists(InInstallFolder(L"PatchB.txt.zip")));
    const std::vector<std::string> first = server.Requests();
    EXPECT_EQ(first.size(), 4u);

    EXPECT_EQ(RunDialog(), 1);
    const std::vector<std::string> all = server.Requests();
    EXPECT_EQ(std::vector<std::string>(all.begin() + first.size(), all.end()),
              std::vector<std::string>{"/RudovuZado.ini.zip"});
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(PatchRunTest, NothingToFetchEndsWith1WithoutABox) {
    tree.PublishManifest(Section("PatchB.txt", "") + "[PatchC.txt]\nType=Other\n");
    WriteBytes(InInstallFolder(L"PatchB.txt"), "current");
    MessageBoxWatcher boxes;
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/RudovuZado.ini.zip"});
    EXPECT_TRUE(boxes.Seen().empty());
}

// The engine counts a manifest package it cannot unpack as an unreachable manifest (its check
// answers 0, not -1): the dialog ends by itself, and the loader starts on what is installed.
TEST_F(PatchRunTest, DamagedManifestPackageEndsWith1WithoutABox) {
    WriteBytes(tree.Root() + L"RudovuZado.ini.zip", "this is no ZIP archive");
    MessageBoxWatcher boxes;
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(server.Requests().front(), "/RudovuZado.ini.zip");
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(PatchRunTest, PackageRefusedWithAnHttpErrorShowsTheDownloadersTextThenEndsWith2) {
    PublishThreeFiles();
    server.AnswerStatus("/RudovuZado/PatchB.txt.zip", 404);
    MessageBoxWatcher boxes;
    EXPECT_EQ(RunDialog(), 2);
    ASSERT_TRUE(boxes.WaitForBoxes(1, 5000));
    EXPECT_NE(boxes.Seen()[0].text.find(L"404"), std::wstring::npos)
        << "the status the server gave";
    ExpectNothingInstalled();
    EXPECT_NE(Log().find("download error: Failed to receive a valid HTTP response from the "
                         "server, Response Code:404"),
              std::string::npos);
}

struct WindowSearch {
    std::function<bool(HWND)> fits;
    HWND found = nullptr;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !search.fits(window))
        return TRUE;
    search.found = window;
    return FALSE;
}

// A visible top-level window of this process that fits, or nullptr.
HWND FindWindowOfThisProcess(std::function<bool(HWND)> fits) {
    WindowSearch search{std::move(fits)};
    EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box of this process whose text holds the given words, or nullptr.
HWND FindMessageBoxWith(const std::wstring& words) {
    return FindWindowOfThisProcess([&](HWND window) {
        wchar_t text[512] = L"";
        return GetDlgItemTextW(window, 0xFFFF, text, 512) &&
               std::wstring(text).find(words) != std::wstring::npos;
    });
}

TEST_F(PatchRunTest, ABoxLeftOpenKeepsNoOtherLaunchOnTheFolderWaiting) {
    PublishThreeFiles();
    server.AnswerStatus("/RudovuZado/PatchB.txt.zip", 404);
    INT_PTR result = 0;
    std::thread first([&] { result = RunDialog(); });
    HWND box = nullptr;
    for (int i = 0; i < 1500 && !box; ++i, Sleep(20)) box = FindMessageBoxWith(L"404");
    ASSERT_NE(box, nullptr);

    // While the user has not read the box, another launch's run takes the folder at once.
    {
        const std::unique_ptr<IUpdateManagerLite> second(
            CreateUpdateManagerLite(UpdateUrl(), kInstallFolder));
        second->AddTypeFilter(L"Common");
        const DWORD started = GetTickCount();
        EXPECT_EQ(second->CheckForUpdates(), 3);
        std::printf("the second check took %lu ms\n",
                    static_cast<unsigned long>(GetTickCount() - started));
        EXPECT_TRUE(IsWindow(box)) << "the box was still open";
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    first.join();
    EXPECT_EQ(result, 2);
    ExpectNothingInstalled();
}

TEST_F(PatchRunTest, CloseDuringASlowDownloadEndsWith1AndLeavesNoThread) {
    server.AddGenerated("/RudovuZado/PatchBig.bin.zip", 64ull << 20);
    server.SetPace(16 * 1024, 200);  // the whole package would take many minutes
    tree.PublishManifest(Section("PatchBig.bin", kRelease));
    const std::set<DWORD> before = testsupport::ProcessThreads();
    INT_PTR result = 0;
    {
        CPatchDlg dialog(UpdateUrl(), kInstallFolder);
        std::thread user([&] {
            for (int i = 0; i < 3000 && server.BodyBytesSent() == 0; ++i) Sleep(10);
            PostMessageW(dialog.GetSafeHwnd(), WM_CLOSE, 0, 0);
        });
        result = dialog.DoModal();
        user.join();
    }
    // Its connection threads are not the component's. Under Wine a closed request does not end
    // the worker's blocked read; the server's closed connection does, a moment later.
    server.Stop();
    EXPECT_EQ(result, 1);
    const std::set<DWORD> left = testsupport::ThreadsLeftSince(before, 10000);
    EXPECT_TRUE(left.empty()) << left.size() << " thread(s) still alive after 10 s";
    EXPECT_LT(server.BodyBytesSent(), 64ull << 20);
}

TEST_F(PatchRunTest, PelkoWebHostUpdatesWritesTheSettingsAndStartsTheLoader) {
    PublishThreeFiles();
    InstallFakeLoaders();
    ASSERT_EQ(RunProgram(ProgramFolder() + L"PelkoWebHost.exe", L"desk " + Server() + L" enc-1"),
              0);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(SettingsEntries(),
              (IniEntries{
                  {L"Server", Server()}, {L"Enc", L"enc-1"}, {L"EntID", L""}, {L"EntName", L""}}));
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    const size_t firstRun = server.Requests().size();
    DeleteSoon(InInstallFolder(L"PelkoDeskLoader.record.txt"));

    ASSERT_EQ(RunProgram(ProgramFolder() + L"PelkoWebHost.exe", L"desk " + Server() + L" enc-2"),
              0);
    const std::vector<std::string> all = server.Requests();
    EXPECT_EQ(std::vector<std::string>(all.begin() + firstRun, all.end()),
              std::vector<std::string>{"/RudovuZado.ini.zip"});
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
}

// The loader and the host are told how the update ended: the settings' UpdateResult and
// ReleaseSerial (which follows the installed files, not the last manifest seen) and the host's
// exit code, run after run on the same install folder.
TEST_F(PatchRunTest, TheLoaderAndTheHostAreToldHowTheUpdateEnded) {
    InstallFakeLoaders();
    // Above every serial an earlier test recorded in this install folder.
    const uint64_t serial = static_cast<uint64_t>(std::time(nullptr)) + 1;
    const std::wstring serialText = std::to_wstring(serial);
    using Key = updatetree::CUpdateTree::Signing::Key;
    const struct {
        const char* name;
        std::function<void()> publish;
        int exitCode;
        const wchar_t* result;
    } runs[] = {
        {"a new release",
         [&] {
             tree.SetSigning({Key::test, serial, {}, {}});
             PublishThreeFiles();
         },
         0, L"updated"},
        {"the same release again", [] {}, 0, L"current"},
        {"a release signed by another key",
         [&] {
             tree.SetSigning({Key::unknown, serial + 1, {}, {}});
             tree.AddPackage("PatchB.txt", "newer B", kStored);
             PublishThreeFiles();
         },
         7, L"refused"},
        {"no manifest to be had", [&] { server.AnswerStatus("/RudovuZado.ini.zip", 404); }, 8,
         L"failed"},
    };
    int run = 0;
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        r.publish();
        const std::wstring enc = L"enc-" + std::to_wstring(++run);
        EXPECT_EQ(
            RunProgram(ProgramFolder() + L"PelkoWebHost.exe", L"desk " + Server() + L" " + enc),
            r.exitCode);
        EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
        EXPECT_EQ(
            SettingsEntries(),
            (IniEntries{{L"Server", Server()}, {L"Enc", enc}, {L"EntID", L""}, {L"EntName", L""}}));
        EXPECT_EQ(OutcomeEntries(),
                  (IniEntries{{L"UpdateResult", r.result}, {L"ReleaseSerial", serialText}}));
        EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
        DeleteSoon(InInstallFolder(L"PelkoDeskLoader.record.txt"));
    }
}

TEST_F(PatchRunTest, TwoHostsAtOnceUpdateOnceAndEachWritesItsSettingsWhole) {
    PublishThreeFiles();
    InstallFakeLoaders();
    const std::wstring host = ProgramFolder() + L"PelkoWebHost.exe";
    int desk = -1;
    int classic = -1;
    std::thread first([&] { desk = RunProgram(host, L"desk " + Server() + L" enc-1"); });
    std::thread second(
        [&] { classic = RunProgram(host, L"classic " + Server() + L" id-2 name-2"); });
    first.join();
    second.join();
    EXPECT_EQ(desk, 0);
    EXPECT_EQ(classic, 0);
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    EXPECT_TRUE(WaitForRecord(L"PelkoLoader"));
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    const std::vector<std::string> requests = server.Requests();
    for (const char* package :
         {"/RudovuZado/PatchA.dll.zip", "/RudovuZado/PatchB.txt.zip", "/RudovuZado/PatchC.txt.zip"})
        EXPECT_EQ(std::count(requests.begin(), requests.end(), package), 1) << package;
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "/RudovuZado.ini.zip"), 2);
    // One launch's values, never a mix of both.
    const IniEntries deskSettings = {
        {L"Server", Server()}, {L"Enc", L"enc-1"}, {L"EntID", L""}, {L"EntName", L""}};
    const IniEntries classicSettings = {
        {L"Server", Server()}, {L"Enc", L""}, {L"EntID", L"id-2"}, {L"EntName", L"name-2"}};
    const IniEntries settings = SettingsEntries();
    EXPECT_TRUE(settings == deskSettings || settings == classicSettings);
}

// Every file below the install folder but those the launch itself writes (the settings and
// the fake loader's record).
std::set<std::wstring> RunFilesOf(const std::wstring& installFolder) {
    std::set<std::wstring> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(installFolder, error)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name != L"PelkoWebLoader.ini" && name.find(L".record.txt") == std::wstring::npos)
            files.insert(entry.path().wstring());
    }
    return files;
}

// The same files, each with its size and last-write time.
std::set<std::tuple<std::wstring, uint64_t, uint64_t>> RunFileStamps(
    const std::wstring& installFolder) {
    std::set<std::tuple<std::wstring, uint64_t, uint64_t>> stamps;
    for (const std::wstring& path : RunFilesOf(installFolder)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        stamps.emplace(path, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                       (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime);
    }
    return stamps;
}

TEST_F(PatchRunTest, CloseDuringACheckEndsTheRunBeforeTheAnswerAndTheAnswerChangesNothing) {
    InstallFakeLoaders();
    // A real release that needs three files; its manifest is held until the close is posted
    // (at most 20 s), then answered.
    PublishThreeFiles();
    const std::string manifest = ReadBytes(treeFolder / L"RudovuZado.ini.zip");
    ASSERT_FALSE(manifest.empty());
    std::atomic<bool> closePosted{false}, asked{false}, answered{false};
    httptest::CLoopbackHttpServer silent;
    silent.SetHandler([&](const httptest::ReceivedRequest& request) {
        if (request.target.find("RudovuZado.ini.zip") == std::string::npos)
            return httptest::ScriptedResponse::Status(404, "Not Found");
        asked = true;
        for (int i = 0; i < 2000 && !closePosted; ++i) Sleep(10);
        answered = true;
        return httptest::ScriptedResponse::Ok(manifest);
    });
    const std::wstring server = silent.Url("/CvUpdate/Pelko");
    const std::wstring manifestUrl = server + L"Patch/RudovuZado.ini.zip";
    downloadtest::DebugLines lines;
    std::atomic<DWORD> launchThread{0};
    std::atomic<bool> returned{false};
    std::thread launch([&] {
        launchThread = GetCurrentThreadId();
        CPelkoWebDLL().Launch({server.c_str(), L"enc", nullptr, nullptr, L"PelkoDeskLoader.exe"},
                              &RunPatchStep);
        returned = true;
    });
    while (launchThread == 0) Sleep(1);
    const HWND dialog = WaitForDialogOf(launchThread);
    ASSERT_NE(dialog, nullptr);
    for (int i = 0; i < 1000 && !asked; ++i) Sleep(10);
    ASSERT_TRUE(asked) << "the check has sent its request";
    const auto before = RunFileStamps(InInstallFolder(L""));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    const DWORD closed = GetTickCount();

    // The start operation waits for no answer: it returns long before the check's own deadline
    // would have ended it (the margin is more than a loaded machine takes to end a run).
    constexpr DWORD kDeadline = CUpdateCheck::kManifestDeadlineMs;
    constexpr DWORD kMargin = 10000;
    while (!returned && GetTickCount() - closed < kDeadline + kMargin) Sleep(10);
    const DWORD elapsed = GetTickCount() - closed;
    EXPECT_TRUE(returned) << "the start operation still runs after the check's deadline";
    EXPECT_LT(elapsed, kDeadline - kMargin) << "the close did not end the check";
    launch.join();
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    std::printf("the start operation returned %lu ms after the close\n",
                static_cast<unsigned long>(elapsed));
    closePosted = true;
    // The manifest's worker keeps the run lock until it has had its answer and ended.
    const std::wstring lock = InInstallFolder(L"~PelkoUpdate\\run.lock");
    bool lockFree = false;
    for (int i = 0; i < 2000 && !lockFree; ++i) {
        const HANDLE file = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        lockFree = file != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!lockFree) Sleep(10);
    }
    EXPECT_TRUE(answered);
    EXPECT_TRUE(lockFree) << "the run's worker still holds the lock";
    // The stop reached the check's transfer: the manifest that came was not taken, and no
    // deadline ended the check.
    EXPECT_EQ(1, lines.CountStartingWith(L"CDownloadComponent, not received " + manifestUrl));
    EXPECT_EQ(0, lines.CountStartingWith(L"CDownloadComponent, received " + manifestUrl));
    EXPECT_EQ(0, lines.CountContaining(L"no manifest from"));
    const std::vector<std::string> onlyTheManifest = {"/CvUpdate/PelkoPatch/RudovuZado.ini.zip"};
    std::vector<std::string> targets;
    for (const auto& request : silent.Requests()) targets.push_back(request.target);
    EXPECT_EQ(targets, onlyTheManifest) << "no package asked for after the close";
    EXPECT_EQ(RunFileStamps(InInstallFolder(L"")), before);
}

TEST_F(PatchRunTest, CloseDuringTheCommitLetsItFinishWithTheRegistration) {
    PublishThreeFiles();
    INT_PTR result = 0;
    bool closeSent = false;
    std::vector<std::wstring> linesAtTheEnd;
    {
        downloadtest::DebugLines lines;
        CPatchDlg dialog(UpdateUrl(), kInstallFolder);
        g_onCommitStep = [&](unsigned step) {
            if (step != 1) return;
            // Sent, not posted: the window has handled the close when the commit goes on.
            SendMessageW(dialog.GetSafeHwnd(), WM_CLOSE, 0, 0);
            closeSent = true;
        };
        result = dialog.DoModal();
        // What the run had done when the window ended (the manager's end, which waits for the
        // commit, comes later).
        linesAtTheEnd = lines.All();
        g_onCommitStep = nullptr;
    }
    EXPECT_TRUE(closeSent) << "no commit step came while the window was open";
    // The window outlived the commit: its last file and the registration came before its end.
    const auto logged = [&](const std::wstring& start) {
        return std::any_of(linesAtTheEnd.begin(), linesAtTheEnd.end(),
                           [&](const std::wstring& line) { return line.starts_with(start); });
    };
    EXPECT_TRUE(logged(L"CInstallLite::Install, checked and installed " +
                       InInstallFolder(L"patchsub\\PatchC.txt.zip")));
    EXPECT_TRUE(logged(L"RegisterServer, DllRegisterServer of " + InInstallFolder(L"PatchA.dll")));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"patchsub\\PatchC.txt")), "new C");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchA.dll.log")).rfind("register", 0), 0u);
}

// Launches the desk loader; at the first commit step or registration again of a DLL in place
// while the patch window is open, a close is sent to the window from the engine's thread. Sent,
// not posted: the window has handled the close when the engine goes on. True when it was sent.
bool LaunchClosedAtTheFirstChange(const std::wstring& server) {
    std::atomic<DWORD> launchThread{0};
    HWND dialog = nullptr;
    const auto close = [&] {
        if (dialog) return;
        dialog = WaitForDialogOf(launchThread);
        if (dialog) SendMessageW(dialog, WM_CLOSE, 0, 0);
    };
    g_onCommitStep = [&](unsigned) { close(); };
    g_onReRegistration = close;
    std::thread launch([&] {
        launchThread = GetCurrentThreadId();
        CPelkoWebDLL().Launch({server.c_str(), L"enc", nullptr, nullptr, L"PelkoDeskLoader.exe"},
                              &RunPatchStep);
    });
    launch.join();
    g_onCommitStep = nullptr;
    g_onReRegistration = nullptr;
    return dialog != nullptr;
}

// The first line that starts with `change` comes before the loader's start in the lines of a run.
void ExpectEndedBeforeTheLoaderStarted(const std::vector<std::wstring>& all,
                                       const std::wstring& change) {
    const auto position = [&](const std::wstring& start) {
        return std::find_if(all.begin(), all.end(),
                            [&](const std::wstring& line) { return line.starts_with(start); }) -
               all.begin();
    };
    const auto changed = position(change);
    const auto started = position(L"StartProcess, started");
    ASSERT_LT(changed, std::ssize(all)) << Utf8(change);
    ASSERT_LT(started, std::ssize(all));
    EXPECT_LT(changed, started) << "the loader started before: " << Utf8(change);
}

// A launch that finds a commit cut short recovers it before anything else; a close sent while
// the recovery moves files keeps the window until the recovery has ended, and only then does
// the loader start, over a whole install.
TEST_F(PatchRunTest, CloseDuringRecoveryWaitsForItThenStartsTheLoader) {
    InstallFakeLoaders();
    PublishThreeFiles();
    const std::string dll = ReadBytes(ProgramFolder() + L"testreg_ok.dll");
    const std::wstring work = UpdateWorkPaths::WorkFolder(kInstallFolder);
    const std::wstring staged = UpdateWorkPaths::StagedFolder(work);
    const std::wstring a = InInstallFolder(L"PatchA.dll");
    const std::wstring b = InInstallFolder(L"PatchB.txt");
    const std::wstring c = InInstallFolder(L"patchsub\\PatchC.txt");
    // What a commit ended after its first target leaves: A in place, the old B set aside, the
    // new B and C still staged.
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(staged.c_str(), nullptr);
    WriteBytes(a, dll);
    WriteBytes(UpdateWorkPaths::AsidePath(a), "old A");
    WriteBytes(UpdateWorkPaths::AsidePath(b), "old B");
    WriteBytes(staged + L"\\1", "new B");
    WriteBytes(staged + L"\\2", "new C");
    const std::vector<JournalEntry> cutShort = {
        {a, staged + L"\\0", UpdateWorkPaths::AsidePath(a), true, DigestOf(dll), kInstallFolder},
        {b, staged + L"\\1", UpdateWorkPaths::AsidePath(b), false, DigestOf("new B"),
         kInstallFolder},
        {c, staged + L"\\2", UpdateWorkPaths::AsidePath(c), false, DigestOf("new C"),
         kInstallFolder},
    };
    ASSERT_TRUE(CCommitJournal(UpdateWorkPaths::JournalFile(work)).Write(cutShort));

    downloadtest::DebugLines lines;
    EXPECT_TRUE(LaunchClosedAtTheFirstChange(Server()))
        << "no recovery step came while the window was open";
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    ExpectEndedBeforeTheLoaderStarted(lines.All(), L"CInstallCommit::Recover, rolled forward");
    EXPECT_EQ(ReadBytes(a), dll);
    EXPECT_EQ(ReadBytes(b), "new B");
    EXPECT_EQ(ReadBytes(c), "new C");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchA.dll.log")).rfind("register", 0), 0u);
    for (const std::wstring& target : {a, b, c})
        EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(target))) << Utf8(target);
    EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(work)));
}

// A DLL in place that the manifest marks for registration, without a date check, is registered
// again by every launch; a close sent during that registration keeps the window until it has
// ended, the loader starts after it, and the run ends as a close ends: nothing is fetched.
TEST_F(PatchRunTest, CloseDuringReRegistrationWaitsForItThenStartsTheLoader) {
    InstallFakeLoaders();
    const std::string dll = ReadBytes(ProgramFolder() + L"testreg_ok.dll");
    WriteBytes(InInstallFolder(L"PatchA.dll"), dll);
    tree.AddPackage("PatchA.dll", dll, kStored);
    tree.AddPackage("PatchB.txt", "new B", kStored);
    // B is missing: a run that went on would fetch it.
    tree.PublishManifest(Section("PatchA.dll", "ModifyDate=2024-03-01 10:00\nRegister=1\n") +
                         Section("PatchB.txt", kRelease));

    downloadtest::DebugLines lines;
    EXPECT_TRUE(LaunchClosedAtTheFirstChange(Server()))
        << "no registration came while the window was open";
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    ExpectEndedBeforeTheLoaderStarted(lines.All(), L"RegisterServer, DllRegisterServer of ");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchA.dll.log")).rfind("register", 0), 0u);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/RudovuZado.ini.zip"});
    EXPECT_FALSE(Exists(InInstallFolder(L"PatchB.txt")));
}

// A visible dialog of this process other than the patch window, or nullptr.
HWND FindPromptBeside(HWND patchWindow) {
    return FindWindowOfThisProcess([&](HWND window) {
        wchar_t name[16] = L"";
        GetClassNameW(window, name, 16);
        return window != patchWindow && std::wstring(name) == L"#32770";
    });
}

struct ProxyCredentials {
    std::wstring user;
    std::wstring password;
};

BOOL CALLBACK FillCredentials(HWND child, LPARAM given) {
    const ProxyCredentials& credentials = *reinterpret_cast<const ProxyCredentials*>(given);
    wchar_t name[16] = L"";
    GetClassNameW(child, name, 16);
    if (std::wstring(name) != L"Edit") return TRUE;
    const bool password = (GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD) != 0;
    const std::wstring& text = password ? credentials.password : credentials.user;
    SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return TRUE;
}

// The user in front of the patch window: answers the first prompt beside it with credentials
// and refuses every later one, until the window has ended (at most 30 s).
class PromptUser {
public:
    PromptUser(const CPatchDlg& dialog, ProxyCredentials given)
        : credentials(std::move(given)), user([this, &dialog] { Watch(dialog); }) {}
    ~PromptUser() { WindowEnded(); }
    PromptUser(const PromptUser&) = delete;
    PromptUser& operator=(const PromptUser&) = delete;

    void WindowEnded() {
        ended = true;
        if (user.joinable()) user.join();
    }
    // After WindowEnded: the prompts seen, and the owner of the first.
    size_t Prompts() const { return prompts.size(); }
    HWND Owner() const { return owner; }

private:
    void Watch(const CPatchDlg& dialog) {
        for (int i = 0; i < 3000 && !ended; ++i, Sleep(10)) {
            const HWND prompt = FindPromptBeside(dialog.GetSafeHwnd());
            if (!prompt || !prompts.insert(prompt).second) continue;
            if (prompts.size() > 1) {
                PostMessageW(prompt, WM_COMMAND, IDCANCEL, 0);
                continue;
            }
            owner = GetWindow(prompt, GW_OWNER);
            EnumChildWindows(prompt, &FillCredentials, reinterpret_cast<LPARAM>(&credentials));
            PostMessageW(prompt, WM_COMMAND, IDOK, 0);
        }
    }

    const ProxyCredentials credentials;
    std::atomic<bool> ended{false};
    std::set<HWND> prompts;
    HWND owner = nullptr;
    std::thread user;
};

// A proxy that asks for credentials (407) while the patch window runs an update: the platform's
// one prompt of the run is owned by the patch window, and its answer carries every transfer.
TEST_F(PatchRunTest, AProxyAskingForCredentialsPromptsOnceOverThePatchWindow) {
    PublishThreeFiles();
    httptest::CImpairmentServer proxy{treeFolder.Path(), "/CvUpdate/PelkoPatch"};
    proxy.RequireProxyCredentials("proxyuser", "proxypass");
    const std::wstring proxyAddress = proxy.HostPort();
    CPatchDlg dialog(proxy.Url(), kInstallFolder, nullptr,
                     [&](const std::wstring& url, const std::wstring& folder) {
                         IUpdateManagerLite* manager = CreateUpdateManagerLite(url, folder);
                         manager->UseNamedProxy();
                         manager->SetProxyServer(proxyAddress.c_str());
                         return manager;
                     });
    PromptUser user(dialog, {L"proxyuser", L"proxypass"});
    const INT_PTR result = dialog.DoModal();
    user.WindowEnded();

    ASSERT_EQ(user.Prompts(), 1u);
    EXPECT_EQ(user.Owner(), dialog.GetSafeHwnd());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"patchsub\\PatchC.txt")), "new C");
    size_t answered = 0;
    for (const auto& request : proxy.Requests())
        if (request.Header("Proxy-Authorization")) ++answered;
    EXPECT_GE(answered, 4u) << "the manifest and the three packages, each with the answer";
}

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The proxy of this prefix's Internet settings, as a user or a company sets it, while it lives.
class SystemProxy {
public:
    explicit SystemProxy(const std::string& address) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr);
        const DWORD enable = 1;
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                       sizeof(enable));
        SetText(L"ProxyServer", Widened(address));
        // Windows goes around a proxy for loopback addresses unless told not to.
        SetText(L"ProxyOverride", L"<-loopback>");
    }
    ~SystemProxy() {
        for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"})
            RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
    SystemProxy(const SystemProxy&) = delete;
    SystemProxy& operator=(const SystemProxy&) = delete;

private:
    static constexpr const wchar_t* kSettings =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    void SetText(const wchar_t* name, const std::wstring& text) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    HKEY key = nullptr;
};

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Squid, asking for Basic credentials, as the system proxy of this prefix (squid_tests run this
// through tests/support/squid/with_squid.sh): the run's one prompt is owned by the patch window,
// and the run installs through the proxy with the credentials typed into it.
TEST_F(PatchRunTest, ThroughTheSystemProxyAskingForCredentials) {
    const std::string address = Environment("PELKO_SQUID_PROXY");
    if (address.empty()) GTEST_SKIP() << "squid_tests run this through with_squid.sh";
    const SystemProxy system(address);
    PublishThreeFiles();
    CPatchDlg dialog(UpdateUrl(), kInstallFolder);
    PromptUser user(dialog, {Widened(Environment("PELKO_SQUID_USER")),
                             Widened(Environment("PELKO_SQUID_PASSWORD"))});
    const INT_PTR result = dialog.DoModal();
    user.WindowEnded();

    ASSERT_EQ(user.Prompts(), 1u);
    EXPECT_EQ(user.Owner(), dialog.GetSafeHwnd());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"patchsub\\PatchC.txt")), "new C");
    // Squid's log: "user method URL status" a line.
    std::istringstream log(ReadBytes(Widened("Z:" + Environment("PELKO_SQUID_LOG"))));
    std::set<std::string> fetched;
    for (std::string user, method, url, status; log >> user >> method >> url >> status;)
        if (user == Environment("PELKO_SQUID_USER") && status == "200")
            fetched.insert(url.substr(url.rfind('/') + 1));
    EXPECT_EQ(fetched, (std::set<std::string>{"RudovuZado.ini.zip", "PatchA.dll.zip",
                                              "PatchB.txt.zip", "PatchC.txt.zip"}));
}

// The events of one run, each a whole line with time, process and thread, and never a value
// the web page handed over.
TEST_F(PatchRunTest, PelkoWebHostRunWritesEachEventToTheUsersLog) {
    PublishThreeFiles();
    InstallFakeLoaders();
    ASSERT_EQ(RunProgram(ProgramFolder() + L"PelkoWebHost.exe",
                         L"desk " + Server() + L" enc-Secret-7f3a"),
              0);
    ASSERT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    const std::string log = Log();
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[pid \d+ tid \d+\] )";
    const std::string url = R"(http://127\.0\.0\.1:\d+/CvUpdate/Pelko)";
    const struct {
        const char* event;
        std::string pattern;
    } events[] = {
        {"start", R"(CPelkoWebDLL::Launch, start for PelkoDeskLoader\.exe, PelkoWebLoader )" +
                      std::regex_replace(PELKO_VERSION_TEXT, std::regex(R"(\.)"), R"(\.)") +
                      R"(, build [0-9a-f]{32}, test build)"},
        {"server allowed", "CheckServer, allowed: " + url},
        {"manifest", "manifest " + url + R"(Patch: \d+ bytes, 3 entries, 3 to fetch, \d+ ms)"},
        {"package requested", "requested " + url + R"(Patch/RudovuZado/PatchB\.txt\.zip)"},
        {"package received",
         "received " + url + R"(Patch/RudovuZado/PatchB\.txt\.zip: \d+ bytes, \d+ ms)"},
        {"package installed", R"(checked and installed .*\\PatchB\.txt\.zip)"},
        {"registration", R"(RegisterServer, DllRegisterServer of .*\\PatchA\.dll: 0x00000000)"},
        {"loader started",
         R"(StartProcess, started C:\\Corvane\\Pelko\\PelkoDeskLoader\.exe, process \d+)"},
        {"patch step time", R"(CPelkoWebDLL::Launch, patch step ended after \d+ ms)"},
        {"total time", R"(CPelkoWebDLL::Launch, run ended after \d+ ms)"},
    };
    for (const auto& e : events) {
        const std::regex line("(^|\r\n)" + stamp + ".*" + e.pattern + "\r\n");
        EXPECT_TRUE(std::regex_search(log, line)) << e.event << ": " << e.pattern;
    }
    // The run's first line names the DLL's version and build.
    EXPECT_TRUE(std::regex_search(log, std::regex("^" + stamp + events[0].pattern + "\r\n")))
        << log.substr(0, log.find('\n'));
    EXPECT_EQ(log.find("enc-Secret-7f3a"), std::string::npos);
    // Progress chatter goes to the debug output only.
    for (const char* chatter : {" Completed\r\n", "SetStatus", "Got a Content-Length"})
        EXPECT_EQ(log.find(chatter), std::string::npos) << chatter;
}

TEST_F(PatchRunTest, ALogFolderThatCannotBeMadeChangesNothingInTheRun) {
    const std::wstring notAFolder = appData / L"plain-file";
    WriteBytes(notAFolder, "not a folder");
    SetEnvironmentVariableW(L"LOCALAPPDATA", notAFolder.c_str());
    PublishThreeFiles();
    InstallFakeLoaders();
    ASSERT_EQ(RunProgram(ProgramFolder() + L"PelkoWebHost.exe", L"desk " + Server() + L" enc-3"),
              0);
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchA.dll.log")).rfind("register", 0), 0u);
    EXPECT_EQ(SettingsEntries(),
              (IniEntries{
                  {L"Server", Server()}, {L"Enc", L"enc-3"}, {L"EntID", L""}, {L"EntName", L""}}));
    EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    EXPECT_EQ(ReadBytes(notAFolder), "not a folder");
}

// A release the component cannot verify changes nothing, and the loader still starts: a tree
// without a signature is no manifest at all, a package that fails verification fails the run
// with its one box.
TEST_F(PatchRunTest, ReleasesThatDoNotVerifyInstallNothingAndStillStartTheLoader) {
    InstallFakeLoaders();
    const struct {
        const char* name;
        std::function<void()> spoil;
        const wchar_t* boxText;  // none: no box
    } cases[] = {
        {"unsigned tree",
         [&] {
             tree.SetSigning({updatetree::CUpdateTree::Signing::Key::none, {}, {}, {}});
             PublishThreeFiles();
         },
         nullptr},
        {"package swapped after signing",
         [&] {
             tree.SetSigning({});
             PublishThreeFiles();
             tree.AddPackage("PatchB.txt", "evil B", kStored);
         },
         L"failed to verify file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        MessageBoxWatcher boxes;
        CPelkoWebDLL().Launch(
            {Server().c_str(), L"enc-3", nullptr, nullptr, L"PelkoDeskLoader.exe"}, &RunPatchStep);
        EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
        EXPECT_FALSE(Exists(InInstallFolder(L"PatchB.txt")));
        EXPECT_FALSE(Exists(InInstallFolder(L"PatchA.dll.log"))) << "nothing registered";
        if (c.boxText) {
            ASSERT_TRUE(boxes.WaitForBoxes(1, 5000));
            EXPECT_NE(boxes.Seen()[0].text.find(c.boxText), std::wstring::npos);
        } else {
            EXPECT_TRUE(boxes.Seen().empty());
        }
        DeleteSoon(InInstallFolder(L"PelkoDeskLoader.record.txt"));
    }
}

// The release that a first start brings into an empty folder: a loader and two files.
void PublishLoaderRelease(updatetree::CUpdateTree& tree, const std::string& loader) {
    tree.AddPackage("PelkoDeskLoader.exe", loader, kStored);
    tree.AddPackage("PatchB.txt", "new B", kStored);
    tree.AddPackage("PatchC.txt", "new C", kStored);
    tree.PublishManifest(Section("PelkoDeskLoader.exe", kRelease) +
                         Section("PatchB.txt", kRelease) +
                         Section("PatchC.txt", std::string("TargetDir=patchsub\n") + kRelease));
}

// A user whom the machine's folder cannot serve (Wine reads mode 0777 as everyone may change
// it) gets the whole release in a folder of their own and runs the loader from there; the
// machine's folder stays as it was. A second start there fetches only the manifest; once the
// machine's folder serves again, it is used again.
TEST_F(PatchRunTest, AUserTheMachinesFolderCannotServeRunsTheReleaseFromTheirOwnFolder) {
    PublishLoaderRelease(tree, ReadBytes(ProgramFolder() + L"PelkoDeskLoader.exe"));
    const std::wstring own = appData / L"Corvane\\Pelko\\";
    const std::wstring machine = L"C:\\Corvane\\Pelko";
    const auto user = FolderSecurity::CurrentUserSid();
    ASSERT_TRUE(user.has_value());
    WriteBytes(SettingsPath(), "[PelkoWebLoader]\r\nServer=the machine's\r\n");
    const std::wstring list = AccessListText(machine);
    ASSERT_EQ(SetAccessList(
                  machine, L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + *user + L")(A;OICI;0x1301bf;;;WD)"),
              DWORD{ERROR_SUCCESS});
    const std::wstring before = Snapshot(machine);
    const std::wstring host = ProgramFolder() + L"PelkoWebHost.exe";

    ASSERT_EQ(RunProgram(host, L"desk " + Server() + L" enc-1"), 0);
    EXPECT_EQ(ReadBytes(own + L"PatchB.txt"), "new B");
    EXPECT_EQ(ReadBytes(own + L"patchsub\\PatchC.txt"), "new C");
    auto record = WaitForRecord(own + L"PelkoDeskLoader");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->path, own + L"PelkoDeskLoader.exe");
    EXPECT_EQ(record->settings, ReadBytes(own + L"PelkoWebLoader.ini"));
    EXPECT_NE(record->settings.find("Enc=enc-1\r\n"), std::string::npos);
    EXPECT_EQ(Snapshot(machine), before) << "the machine's folder changed";
    EXPECT_NE(Log().find("CPelkoWebDLL::Launch, install folder " + Utf8(own) +
                         ": the user's own, as " + Utf8(machine) + " may be changed by "),
              std::string::npos);
    DeleteSoon(own + L"PelkoDeskLoader.record.txt");
    const size_t firstRun = server.Requests().size();

    ASSERT_EQ(RunProgram(host, L"desk " + Server() + L" enc-2"), 0);
    const std::vector<std::string> all = server.Requests();
    EXPECT_EQ(std::vector<std::string>(all.begin() + firstRun, all.end()),
              std::vector<std::string>{"/RudovuZado.ini.zip"});
    record = WaitForRecord(own + L"PelkoDeskLoader");
    ASSERT_TRUE(record.has_value());
    EXPECT_NE(record->settings.find("Enc=enc-2\r\n"), std::string::npos);
    EXPECT_EQ(Snapshot(machine), before) << "the machine's folder changed";

    ASSERT_EQ(SetAccessList(machine, list), DWORD{ERROR_SUCCESS});
    ASSERT_EQ(RunProgram(host, L"desk " + Server() + L" enc-3"), 0);
    record = WaitForRecord(L"PelkoDeskLoader");
    ASSERT_TRUE(record.has_value()) << "the release's loader in the machine's folder";
    EXPECT_EQ(record->path, InInstallFolder(L"PelkoDeskLoader.exe"));
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_NE(record->settings.find("Enc=enc-3\r\n"), std::string::npos);
}

// Where an administrator prepared the machine's folder for a group (owned by the
// Administrators, a group entry giving its members modify rights), what the launch makes there
// carries the folder's inherited list, not one private to the member who made it; and a start of
// another member, who finds the work folder the first one made, is accepted. (Wine keeps no owner
// of its own: the facts read are those Windows reports of such a folder.)
TEST_F(PatchRunTest, APreparedFolderSharesTheWorkFolderRecordsAndSettingsWithItsMembers) {
    const std::wstring group = L"S-1-5-21-1-2-3-2001";
    const std::wstring member = L"S-1-5-21-1-2-3-1002";
    const std::wstring prepared = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    const std::wstring handedDown =
        L"D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
        L"(A;OICIID;0x1200a9;;;BU)(A;OICIID;0x1301bf;;;" +
        group + L")";
    const std::wstring work = UpdateWorkPaths::WorkFolder(kInstallFolder);
    const std::wstring workPlain = work.substr(0, work.find_last_not_of(L'\\') + 1);
    bool memberMadeWork = false;
    FolderSecurity::SetFactsObserver([&](const std::wstring& path,
                                         FolderTrustRule::FolderFacts& facts) {
        const std::wstring folder = path.substr(0, path.find_last_not_of(L'\\') + 1);
        std::wstring sddl;
        if (folder == L"C:\\Corvane") sddl = prepared;
        if (folder == L"C:\\Corvane\\Pelko")
            sddl = prepared + L"(A;;0x1201bf;;;" + group + L")(A;OICIIO;0x1301bf;;;" + group + L")";
        if (folder == workPlain && memberMadeWork) sddl = L"O:" + member + handedDown;
        if (sddl.empty()) return;
        const FolderSecurity::LocalDescriptor descriptor = FolderSecurity::DescriptorFromSddl(sddl);
        const FolderTrustRule::FolderFacts reported = FolderSecurity::FactsOf(descriptor.get());
        facts.ownerSid = reported.ownerSid;
        facts.entries = reported.entries;
    });
    // However the test ends: the observers hold references into this scope.
    struct StopObserving {
        ~StopObserving() {
            FolderSecurity::SetFactsObserver(nullptr);
            DebugOutput::SetObserver(nullptr);
        }
    } stopObserving;
    // What the platform gives a folder and a file made in the install folder with the inherited
    // list, and with the private one.
    const std::wstring referenceFolder = InInstallFolder(L"reference-folder");
    const std::wstring referenceFile = InInstallFolder(L"reference.txt");
    CreateDirectoryW(referenceFolder.c_str(), nullptr);
    WriteBytes(referenceFile, "");
    const std::wstring inheritedFolder = AccessListText(referenceFolder);
    const std::wstring inheritedFile = AccessListText(referenceFile);
    RemoveDirectoryW(referenceFolder.c_str());
    DeleteFileW(referenceFile.c_str());
    const FolderSecurity::LocalDescriptor privateList = FolderSecurity::PrivateDescriptor();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), privateList.get(), FALSE};
    CreateDirectoryW(referenceFolder.c_str(), &attributes);
    const std::wstring privateFolder = AccessListText(referenceFolder);
    RemoveDirectoryW(referenceFolder.c_str());
    ASSERT_NE(inheritedFolder, privateFolder) << "the two lists must differ for the test to tell";

    // Made by this launch, not left by another test.
    DeleteFileW(InInstallFolder(L"PelkoRelease.serial").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(workPlain, ignored);
    ASSERT_FALSE(Exists(workPlain));
    tree.AddPackage("PatchB.txt", "new B", kStored);
    tree.PublishManifest(Section("PatchB.txt", kRelease));
    InstallFakeLoaders();
    std::vector<std::wstring> lines;
    DebugOutput::SetObserver([&](const std::wstring& line) { lines.push_back(line); });
    MessageBoxWatcher boxes;
    CPelkoWebDLL().Launch({Server().c_str(), L"enc-1", nullptr, nullptr, L"PelkoDeskLoader.exe"},
                          &RunPatchStep);
    ASSERT_TRUE(WaitForRecord(L"PelkoDeskLoader"));
    EXPECT_EQ(ReadBytes(InInstallFolder(L"PatchB.txt")), "new B");
    EXPECT_EQ(AccessListText(workPlain), inheritedFolder);
    EXPECT_EQ(AccessListText(InInstallFolder(L"PelkoRelease.serial")), inheritedFile);
    EXPECT_EQ(AccessListText(SettingsPath()), inheritedFile);
    DeleteSoon(InInstallFolder(L"PelkoDeskLoader.record.txt"));

    memberMadeWork = true;
    lines.clear();
    CPelkoWebDLL().Launch({Server().c_str(), L"enc-2", nullptr, nullptr, L"PelkoDeskLoader.exe"},
                          &RunPatchStep);
    DebugOutput::SetObserver(nullptr);
    const auto record = WaitForRecord(L"PelkoDeskLoader");
    ASSERT_TRUE(record.has_value());
    EXPECT_NE(record->settings.find("Enc=enc-2\r\n"), std::string::npos);
    EXPECT_NE(
        std::find(
            lines.begin(), lines.end(),
            L"CPelkoWebDLL::Launch, install folder C:\\Corvane\\Pelko\\: the machine's, trusted "
            L"and writable for this user\n"),
        lines.end());
    EXPECT_TRUE(boxes.Seen().empty());
    DeleteFileW(InInstallFolder(L"PelkoRelease.serial").c_str());
}

}  // namespace
