#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "patchui/CPatchDlg.h"
#include "patchui/FakeUpdateManager.h"
#include "patchui/PictureHost.h"
#include "support/ui/MessageBoxWatcher.h"

namespace {

using Script = FakeUpdateManager::Script;

constexpr wchar_t kUpdateUrl[] = L"http://127.0.0.1/CvUpdate/PelkoPatch";
constexpr wchar_t kFolder[] = L"C:\\Corvane\\Pelko\\";

struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Catches the dialog's message boxes instead of showing them.
class BoxRecorder {
public:
    BoxRecorder() {
        UserMessage::SetObserver(
            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
                std::lock_guard<std::mutex> guard(m_lock);
                m_boxes.push_back({owner, text, caption, type});
                return IDOK;
            });
    }
    ~BoxRecorder() { UserMessage::SetObserver(nullptr); }
    std::vector<ShownBox> Boxes() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_boxes;
    }

private:
    std::mutex m_lock;
    std::vector<ShownBox> m_boxes;
};

struct Flow {
    const char* name;
    Script script;
    INT_PTR result;
    std::vector<std::wstring> boxes;
    int downloads;
    int installs;
};

std::vector<Flow> Flows() {
    const auto complete = [](CRudovuZadoNotify* notify, FakeUpdateManager&) {
        notify->OnUpdateProgress(L"C:\\x\\A.dll.zip", 50, 25, 1, 2, L"1 KB", L"2 KB");
        notify->OnUpdateComplete();
    };
    Script nothing;
    Script checkFails{[] { return -1; }, L"Cannot read the manifest RudovuZado.ini"};
    Script downloadError{[] { return 2; }};
    downloadError.download = [](CRudovuZadoNotify* notify, FakeUpdateManager&) {
        notify->OnUpdateError(L"HTTP status 404 for A.dll.zip");
    };
    Script downloadStopped{[] { return 1; }};
    downloadStopped.download = [](CRudovuZadoNotify* notify, FakeUpdateManager&) {
        notify->OnUpdateStopped();
    };
    Script downloadRefused{[] { return 1; }, L"", 0};
    Script full{[] { return 2; }};
    full.download = complete;
    full.install = [](CInstallLiteNotify* notify, FakeUpdateManager&) {
        notify->OnInstallProgress(L"C:\\x\\A.dll.zip", 1, 2);
        notify->OnInstallProgress(L"C:\\x\\B.dll.zip", 2, 2);
        notify->OnInstallComplete();
    };
    Script installStopped = full;
    installStopped.install = [](CInstallLiteNotify* notify, FakeUpdateManager&) {
        notify->OnInstallStopped();
    };
    Script installError = full;
    installError.install = [](CInstallLiteNotify* notify, FakeUpdateManager&) {
        notify->OnInstallError(L"Cannot replace A.dll");
    };
    return {
        {"nothing to fetch", nothing, 1, {}, 0, 0},
        {"check fails", checkFails, 1, {L"Cannot read the manifest RudovuZado.ini"}, 0, 0},
        {"download error", downloadError, 2, {L"HTTP status 404 for A.dll.zip"}, 1, 0},
        {"download stopped", downloadStopped, 2, {}, 1, 0},
        {"download refused", downloadRefused, 1, {}, 1, 0},
        {"full update", full, 1, {}, 1, 1},
        {"install stopped", installStopped, 2, {}, 1, 1},
        {"install error", installError, 2, {L"Cannot replace A.dll"}, 1, 1},
    };
}

CPatchDlg::ManagerFactory FakeFactory(const Script& script, std::shared_ptr<ManagerRecord> record) {
    return [script, record](const std::wstring& url, const std::wstring& folder) {
        return new FakeUpdateManager(script, record, url, folder);
    };
}

std::wstring ModuleName() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

TEST(PatchDlg, EachFlowEndsTheDialogByItself) {
    for (const Flow& flow : Flows()) {
        SCOPED_TRACE(flow.name);
        BoxRecorder boxes;
        auto record = std::make_shared<ManagerRecord>();
        HWND window = nullptr;
        INT_PTR result = 0;
        {
            CPatchDlg dialog(kUpdateUrl, kFolder, nullptr, FakeFactory(flow.script, record));
            result = dialog.DoModal();
            window = dialog.GetSafeHwnd();
        }
        EXPECT_EQ(result, flow.result);
        EXPECT_TRUE(record->destroyed);
        EXPECT_EQ(record->checks, 1);
        EXPECT_EQ(record->downloads, flow.downloads);
        EXPECT_FALSE(record->installWhenDone && flow.downloads > 0) << "the dialog installs itself";
        EXPECT_EQ(record->installs, flow.installs);
        const std::vector<ShownBox> shown = boxes.Boxes();
        ASSERT_EQ(shown.size(), flow.boxes.size());
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].text, flow.boxes[i]);
            EXPECT_EQ(shown[i].caption, ModuleName());
            EXPECT_EQ(shown[i].type, static_cast<UINT>(MB_OK)) << "OK only, no icon";
            EXPECT_EQ(shown[i].owner, window) << "owned by the dialog";
        }
    }
}

// The caller's update URL and install folder, as given: the dialog knows no server rules.
TEST(PatchDlg, TheManagerIsMadeForTheUpdateUrlAndInstallFolderItWasGiven) {
    auto record = std::make_shared<ManagerRecord>();
    CPatchDlg dialog(L"http://localhost:8080/x/", L"D:\\Other\\", nullptr,
                     FakeFactory(Script{}, record));
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(record->updateUrl, L"http://localhost:8080/x/");
    EXPECT_EQ(record->installFolder, L"D:\\Other\\");
    EXPECT_EQ(record->typeFilters, std::vector<std::wstring>{L"Common"});
}

TEST(PatchDlg, FailureInItsOwnCodeEndsItWith2AndSaysSoOnTheDebugOutput) {
    std::vector<std::wstring> lines;
    std::mutex lock;
    DebugOutput::SetObserver([&](const std::wstring& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
    CPatchDlg dialog(kUpdateUrl, kFolder, nullptr,
                     [](const std::wstring&, const std::wstring&) -> IUpdateManagerLite* {
                         throw std::bad_alloc();
                     });
    EXPECT_EQ(dialog.DoModal(), 2);
    DebugOutput::SetObserver(nullptr);
    // The dialog's own lines: a loaded machine may add the animation's, which is late to end.
    std::vector<std::wstring> own;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(own),
                 [](const std::wstring& line) { return line.starts_with(L"CPatchDlg::"); });
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].rfind(L"CPatchDlg::DialogProc, ", 0), 0u);
}

TEST(PatchDlg, CheckFailureShowsARealBoxOwnedByTheDialog) {
    MessageBoxWatcher watcher;
    auto record = std::make_shared<ManagerRecord>();
    CPatchDlg dialog(
        kUpdateUrl, kFolder, nullptr,
        FakeFactory(Script{[] { return -1; }, L"The manifest is not readable."}, record));
    EXPECT_EQ(dialog.DoModal(), 1);
    ASSERT_TRUE(watcher.WaitForBoxes(1, 5000));
    const std::vector<SeenMessageBox> seen = watcher.Seen();
    EXPECT_EQ(seen[0].text, L"The manifest is not readable.");
    EXPECT_EQ(seen[0].caption, ModuleName());
    EXPECT_FALSE(seen[0].hasIcon);
}

// Posted messages reach the dialog in order: once it has taken the icon posted last, it has
// handled the keys posted before.
bool PostAndWaitHandled(HWND window, const std::vector<std::pair<UINT, WPARAM>>& messages) {
    for (const auto& [message, wParam] : messages) PostMessageW(window, message, wParam, 0);
    const HICON marker = LoadIconW(nullptr, IDI_APPLICATION);
    PostMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(marker));
    for (int i = 0; i < 500; ++i) {
        if (SendMessageW(window, WM_GETICON, ICON_SMALL, 0) == reinterpret_cast<LRESULT>(marker))
            return true;
        Sleep(10);
    }
    return false;
}

TEST(PatchDlg, EnterAndEscapeLeaveItOpenAndCloseEndsItWith1) {
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Script checking{[release] {
        WaitForSingleObject(release, 20000);
        return 3;
    }};
    auto record = std::make_shared<ManagerRecord>();
    INT_PTR result = 0;
    bool handled = false;
    bool openAfterKeys = false;
    {
        CPatchDlg dialog(kUpdateUrl, kFolder, nullptr, FakeFactory(checking, record));
        std::thread user([&] {
            HWND window = nullptr;
            for (int i = 0; i < 1000 && !(window = dialog.GetSafeHwnd()); ++i) Sleep(10);
            for (int i = 0; i < 1000 && !IsWindowVisible(window); ++i) Sleep(10);
            handled = PostAndWaitHandled(window, {{WM_KEYDOWN, VK_RETURN},
                                                  {WM_KEYUP, VK_RETURN},
                                                  {WM_KEYDOWN, VK_ESCAPE},
                                                  {WM_KEYUP, VK_ESCAPE},
                                                  {WM_COMMAND, IDOK},
                                                  {WM_COMMAND, IDCANCEL}});
            openAfterKeys = IsWindowVisible(window) != FALSE;
            PostMessageW(window, WM_CLOSE, 0, 0);
        });
        result = dialog.DoModal();
        user.join();
        SetEvent(release);  // the destructor waits for the worker still checking
    }
    CloseHandle(release);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(openAfterKeys);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record->downloads, 0) << "no download starts after the dialog has ended";
    EXPECT_TRUE(record->destroyed);
}

// A close while the run completes an interrupted commit or registers a DLL in place waits for
// that change: the window stays, and ends (the loader starts) only after it, fetching nothing.
TEST(PatchDlg, CloseDuringAChangeToInstalledFilesWaitsForIt) {
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto record = std::make_shared<ManagerRecord>();
    Script changing{[release, record] {
        record->changingFiles = true;
        WaitForSingleObject(release, 20000);
        record->changingFiles = false;
        return 3;
    }};
    std::atomic<bool> released{false};
    bool endedAfterRelease = false;
    bool handled = false;
    bool openDuringChange = false;
    INT_PTR result = 0;
    {
        CPatchDlg dialog(kUpdateUrl, kFolder, nullptr, FakeFactory(changing, record));
        dialog.SetEndAction([&] { endedAfterRelease = released; });
        std::thread user([&] {
            HWND window = nullptr;
            for (int i = 0; i < 1000 && !(window = dialog.GetSafeHwnd()); ++i) Sleep(10);
            for (int i = 0; i < 1000 && !(IsWindowVisible(window) && record->changingFiles); ++i)
                Sleep(10);
            handled = PostAndWaitHandled(window, {{WM_CLOSE, 0}});
            openDuringChange = IsWindowVisible(window) != FALSE;
            released = true;
            SetEvent(release);
        });
        result = dialog.DoModal();
        user.join();
    }
    CloseHandle(release);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(openDuringChange);
    EXPECT_TRUE(endedAfterRelease);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record->downloads, 0);
}

TEST(PatchDlg, CloseDuringADownloadEndsWith1AndLeavesNoThread) {
    const size_t threads = ThreadCount();
    Script slow{[] { return 1; }};
    slow.download = [](CRudovuZadoNotify* notify, FakeUpdateManager& manager) {
        WaitForSingleObject(manager.StopEvent(), 30000);
        notify->OnUpdateStopped();
    };
    auto record = std::make_shared<ManagerRecord>();
    INT_PTR result = 0;
    {
        CPatchDlg dialog(kUpdateUrl, kFolder, nullptr, FakeFactory(slow, record));
        std::thread user([&] {
            for (int i = 0; i < 1000; ++i) {
                {
                    std::lock_guard<std::mutex> guard(record->lock);
                    if (record->downloads > 0) break;
                }
                Sleep(10);
            }
            PostMessageW(dialog.GetSafeHwnd(), WM_CLOSE, 0, 0);
        });
        result = dialog.DoModal();
        user.join();
    }
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(record->destroyed);
    EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
