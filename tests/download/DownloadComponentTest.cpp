#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "download/CDownloadComponent.h"
#include "download/DebugLines.h"
#include "download/RecordingCallback.h"
#include "download/TestFiles.h"
#include "support/common/TestFolder.h"
#include "support/httpserver/CImpairmentServer.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using downloadtest::DebugLines;
using downloadtest::FileExists;
using downloadtest::Pattern;
using downloadtest::ReadFileBytes;
using downloadtest::RecordingCallback;
using downloadtest::WriteFileBytes;
using httptest::CImpairmentServer;
using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;
using testsupport::TestFolder;

// Answers every dialog box of this process that shows up while it lives, so that no dialog can
// hold a test. No time limit: on a busy machine the dialog may come late, and one left
// unanswered would block the transfer waiting for it for good.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(HWND)> answer)
        : watcher([this, answer] {
              while (!done) {
                  if (HWND dialog = FindDialog()) {
                      answer(dialog);
                      ++seen;
                      for (int wait = 0; wait < 100 && IsWindow(dialog); ++wait) Sleep(10);
                  }
                  Sleep(20);
              }
          }) {}
    ~DialogAnswerer() {
        done = true;
        watcher.join();
    }
    int Seen() const { return seen; }

private:
    struct Search {
        DWORD process;
        HWND found;
    };

    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<Search*>(param);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t className[16] = L"";
        GetClassNameW(window, className, 16);
        if (process != search->process || !IsWindowVisible(window) ||
            wcscmp(className, L"#32770") != 0)
            return TRUE;
        search->found = window;
        return FALSE;
    }

    static HWND FindDialog() {
        Search search{GetCurrentProcessId(), nullptr};
        EnumWindows(&DialogAnswerer::Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    std::thread watcher;
};

class DownloadComponentTest : public ::testing::Test {
protected:
    DownloadComponentInfo Record(const std::string& path, const std::wstring& displayName) {
        DownloadComponentInfo info;
        info.strURL = server.Url(path);
        info.strLocalFolder = folder / L"sub\\deeper";
        info.strDisplayName = displayName;
        info.nAccessType = 1;  // direct: no system proxy settings
        return info;
    }

    CLoopbackHttpServer server;
    TestFolder folder;
    DebugLines lines;
};

TEST_F(DownloadComponentTest, ReportsFileAndListProgressWithSizeTexts) {
    const std::string body = Pattern(204800);
    server.Route("/files/abc.zip", ScriptedResponse::Ok(body));
    DownloadComponentInfo info = Record("/files/abc.zip", L"Abc package");
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 2, 4);

    component.Start(TRUE);

    EXPECT_TRUE(component.IsFinished());
    EXPECT_EQ(ReadFileBytes(info.strLocalFolder + L"\\abc.zip"), body);
    EXPECT_TRUE(callback.Events().empty());
    const auto reports = callback.ProgressReports();
    // One report a read: reads of at most 1 KiB, then the final empty one. How many more
    // the network needed (a read takes only what has arrived) is not the component's choice.
    ASSERT_GE(reports.size(), 201u);
    EXPECT_EQ(reports.front().name, info.strLocalFolder + L"\\Abc package");
    EXPECT_EQ(reports.front().filePercent, 0);
    EXPECT_EQ(reports.back().filePercent, 100);
    EXPECT_EQ(reports.back().doneText, L"200.0 KB");
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].filePercent, reports[i - 1].filePercent) << "report " << i;
    for (const auto& report : reports) {
        EXPECT_EQ(report.totalPercent, 50);
        EXPECT_EQ(report.index, 2);
        EXPECT_EQ(report.count, 4);
        EXPECT_EQ(report.totalText, L"200.0 KB");
    }
    // Each whole percentage is announced once, from 0 on.
    EXPECT_EQ(lines.CountStartingWith(L"0 of abc.zip Completed"), 1);
    EXPECT_EQ(lines.CountStartingWith(L"50 of abc.zip Completed"), 1);
    EXPECT_EQ(lines.CountStartingWith(L"100 of abc.zip Completed"), 1);
    int percentLines = 0;
    for (const auto& line : lines.All())
        percentLines += line.find(L" of abc.zip Completed") != std::wstring::npos ? 1 : 0;
    EXPECT_EQ(percentLines, 101);
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Retrieving the file\n"));
    EXPECT_TRUE(lines.Has(L"Retrieving the file"));
}

TEST_F(DownloadComponentTest, ProgressWithoutOrWithEmptyContentLength) {
    struct Case {
        const char* name;
        ScriptedResponse response;
        int filePercent;
        const wchar_t* lastDone;
        const wchar_t* totalText;
    };
    const Case cases[] = {
        {"no Content-Length", ScriptedResponse::Ok(Pattern(3000)).WithoutContentLength(), 0,
         L"2.9 KB", L"0 Bytes"},
        {"Content-Length of 0", ScriptedResponse::Ok(""), 100, L"0 Bytes", L"0 Bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        caseServer.Enqueue(c.response);
        DownloadComponentInfo info = Record("/x.bin", L"x.bin");
        info.strURL = caseServer.Url("/x.bin");
        RecordingCallback callback;
        DebugLines caseLines;
        CDownloadComponent component(&callback, &info, 1, 1);

        component.Start(TRUE);

        EXPECT_TRUE(callback.Events().empty());
        const auto reports = callback.ProgressReports();
        ASSERT_FALSE(reports.empty());
        for (const auto& report : reports) {
            EXPECT_EQ(report.filePercent, c.filePercent);
            EXPECT_EQ(report.totalPercent, c.filePercent);  // one record: the file's figure
            EXPECT_EQ(report.totalText, c.totalText);
        }
        EXPECT_EQ(reports.back().doneText, c.lastDone);
        EXPECT_TRUE(FileExists(info.strLocalFolder + L"\\x.bin"));
        EXPECT_EQ(caseLines.CountStartingWith(L"100 of x.bin"), c.filePercent == 100 ? 1 : 0);
    }
}

// A transfer longer than a second samples its rate and time left; the figures depend on
// timing, so only the shape of the lines is checked.
TEST_F(DownloadComponentTest, SlowTransferReportsRateAndTimeLeft) {
    ScriptedResponse slow = ScriptedResponse::Ok(Pattern(8192));
    slow.chunkBytes = 1024;
    slow.chunkDelayMs = 250;
    server.Enqueue(slow);
    DownloadComponentInfo info = Record("/slow.zip", L"slow.zip");
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_EQ(ReadFileBytes(info.strLocalFolder + L"\\slow.zip"), Pattern(8192));
    int rateLines = 0;
    int timeLines = 0;
    for (const auto& line : lines.All()) {
        const bool rate = line.ends_with(L" Bytes/Sec") || line.ends_with(L" KB/Sec");
        rateLines += rate ? 1 : 0;
        timeLines += line.ends_with(L" of 8.0 KB copied)") ? 1 : 0;
    }
    EXPECT_GE(rateLines, 1);
    EXPECT_EQ(timeLines, rateLines);  // every sample with a known length has a time left
}

// An HTTP status and a system error alike: one OnError, from Run once the transfer ended, no
// stop asked (the receiver decides), and the text once on the debug output.
TEST_F(DownloadComponentTest, EachFailureReachesTheCallbackOnceFromRun) {
    const struct {
        const char* name;
        int accessType;
        std::wstring text;
    } cases[] = {
        {"status 404", 1,
         L"Failed to receive a valid HTTP response from the server, Response Code:404"},
        {"no session", 5,
         CHttpDownloader::FormatText(
             L"An error occurred while attempting to download the file, Error:%s",
             CHttpDownloader::GetWinInetErrorText(ERROR_INVALID_PARAMETER).c_str())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        caseServer.Enqueue(ScriptedResponse::Status(404, "Not Found"));
        DownloadComponentInfo info = Record("/missing.zip", L"missing.zip");
        info.strURL = caseServer.Url("/missing.zip");
        info.nAccessType = c.accessType;
        RecordingCallback callback;
        DebugLines caseLines;
        CDownloadComponent component(&callback, &info, 1, 1);

        component.Start(TRUE);

        EXPECT_EQ(component.GetErrorText(), c.text);
        EXPECT_EQ(callback.Events(), std::vector<std::wstring>({L"OnError:" + c.text}));
        EXPECT_FALSE(callback.stopped);
        EXPECT_EQ(caseLines.CountStartingWith(c.text), 1);
        EXPECT_FALSE(FileExists(info.strLocalFolder + L"\\missing.zip"));
    }
}

TEST_F(DownloadComponentTest, StopRequestEndsTheTransferAndKeepsThePart) {
    ScriptedResponse stalled = ScriptedResponse::Ok(Pattern(100000));
    stalled.dropAfterBodyBytes = 4096;
    stalled.holdAfterBodyBytes = true;  // the rest never comes
    server.Enqueue(stalled);
    DownloadComponentInfo info = Record("/big.zip", L"big.zip");
    RecordingCallback callback;
    callback.stopAfterProgress = 2;
    CDownloadComponent component(&callback, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_TRUE(component.IsCancelled());
    EXPECT_EQ(callback.ProgressReports().size(), 2u);
    EXPECT_TRUE(callback.Events().empty());
    // The part holds the body's start as it came, however the network cut it into reads.
    const std::string part = ReadFileBytes(info.strLocalFolder + L"\\big.zip");
    EXPECT_FALSE(part.empty());
    EXPECT_LE(part.size(), 4096u);
    EXPECT_EQ(part, Pattern(100000).substr(0, part.size()));
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Aborting transfer\n"));
    EXPECT_FALSE(lines.Has(L"Aborting transfer"));
}

// Reads gather what arrives into a large buffer; a reset while bytes are gathered keeps them,
// so that a resumed request starts after every byte that came.
TEST_F(DownloadComponentTest, AResetKeepsEveryByteThatArrivedBeforeIt) {
    ScriptedResponse reset = ScriptedResponse::Ok(Pattern(100000));
    reset.dropAfterBodyBytes = 16384;
    reset.resetOnDrop = true;  // after a pause, so that the bytes before it are read
    server.Enqueue(reset);
    DownloadComponentInfo info = Record("/big.zip", L"big.zip");
    info.nBufferSize = 65536;
    info.bKeepPartOnFailure = true;
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_FALSE(component.IsReceived());
    const std::string part = ReadFileBytes(info.strLocalFolder + L"\\big.zip");
    EXPECT_EQ(part.size(), 16384u);
    EXPECT_TRUE(part == Pattern(100000).substr(0, part.size()));
}

TEST_F(DownloadComponentTest, ConnectionAndRedirectNotificationsBecomeStatusLines) {
    server.Route("/old.zip", ScriptedResponse::Status(302, "Found").Header("Location", "/new.zip"));
    server.Route("/new.zip", ScriptedResponse::Ok("moved"));
    DownloadComponentInfo info = Record("/old.zip", L"old.zip");
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_EQ(ReadFileBytes(info.strLocalFolder + L"\\old.zip"), "moved");
    // The redirect may or may not reuse the connection.
    EXPECT_GE(lines.CountStartingWith(L"CHttpDownloader::SetStatus, Connecting to "), 1);
    EXPECT_GE(lines.CountStartingWith(L"CHttpDownloader::SetStatus, Connected to "), 1);
    const std::wstring redirect = L"Redirecting to " + server.Url("/new.zip");
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, " + redirect + L"\n"));
    EXPECT_TRUE(lines.Has(redirect));
    for (const auto& line : lines.All()) {
        if (line.rfind(L"Connected to ", 0) == 0) {
            EXPECT_EQ(line, L"Connected to 127.0.0.1");
        }
    }
}

TEST_F(DownloadComponentTest, LocalFileNameAndSettingsComeFromTheRecord) {
    server.Enqueue(ScriptedResponse::Challenge(false));
    server.Enqueue(ScriptedResponse::Ok("named"));
    DownloadComponentInfo info = Record("/dir/remote.zip", L"remote.zip");
    info.strLocalFileName = L"local.zip";
    info.strUserName = L"user";
    info.strPassword = L"word";
    info.strUserAgent = L"RecordAgent";
    CDownloadComponent component(nullptr, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_EQ(ReadFileBytes(info.strLocalFolder + L"\\local.zip"), "named");
    EXPECT_FALSE(FileExists(info.strLocalFolder + L"\\remote.zip"));
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().Header("User-Agent").value_or(""), "RecordAgent");
    EXPECT_EQ(requests.back().Header("Authorization").value_or(""),
              httptest::BasicCredentials("user", "word"));
}

TEST_F(DownloadComponentTest, WithoutCallbackAFailureIsOnlyTheMissingFile) {
    server.Enqueue(ScriptedResponse::Status(500, "Internal Server Error"));
    DownloadComponentInfo info = Record("/a.zip", L"a.zip");
    CDownloadComponent component(nullptr, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_TRUE(component.IsFinished());
    EXPECT_FALSE(FileExists(info.strLocalFolder + L"\\a.zip"));
}

TEST_F(DownloadComponentTest, UnsplittableUrlStartsNoThread) {
    DownloadComponentInfo info = Record("/", L"none");
    info.strURL.clear();
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);

    component.Start(TRUE);

    EXPECT_FALSE(component.IsFinished());
    EXPECT_TRUE(lines.Has(L"Failed to parse the URL: http://\n"));
    EXPECT_TRUE(callback.Events().empty());
}

TEST_F(DownloadComponentTest, StartWithoutWaitIsJoinedByTheDestructor) {
    server.Enqueue(ScriptedResponse::Ok(Pattern(50000)));
    DownloadComponentInfo info = Record("/async.zip", L"async.zip");
    RecordingCallback callback;
    {
        CDownloadComponent component(&callback, &info, 1, 1);
        component.Start(FALSE);
    }
    EXPECT_EQ(ReadFileBytes(info.strLocalFolder + L"\\async.zip"), Pattern(50000));
    // The whole body reported, in reads of at most 1 KiB: 49 blocks and the final empty read
    // at least.
    const auto reports = callback.ProgressReports();
    ASSERT_GE(reports.size(), 50u);
    EXPECT_EQ(reports.back().filePercent, 100);
}

// The real Internet error dialog on a proxy's 407: the user's answer decides between a resend
// with the typed credentials and a failed transfer. (A server's 401 over plain HTTP opens none.)
TEST_F(DownloadComponentTest, CredentialsDialogAnswersA407) {
    struct Case {
        const char* name;
        std::function<void(HWND)> answer;
        bool downloaded;
    };
    const Case cases[] = {
        {"OK with user name and password",
         [](HWND dialog) {
             // The dialog's two edit fields: user name, then password.
             HWND user = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
             HWND password = FindWindowExW(dialog, user, L"Edit", nullptr);
             SendMessageW(user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
             SendMessageW(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"secret"));
             PostMessageW(dialog, WM_COMMAND, IDOK, 0);
         },
         true},
        {"Cancel", [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        const std::string expected = httptest::BasicCredentials("typed", "secret");
        caseServer.SetHandler([&](const httptest::ReceivedRequest& request) {
            return request.Header("Proxy-Authorization") == expected
                       ? ScriptedResponse::Ok("behind the dialog")
                       : ScriptedResponse::Challenge(true);
        });
        DownloadComponentInfo info = Record("/guarded.zip", L"guarded.zip");
        // Nothing listens at the origin's port: only the proxy answers.
        info.strURL = L"http://127.0.0.1:" + std::to_wstring(CLoopbackHttpServer::UnusedPort()) +
                      L"/guarded.zip";
        info.nAccessType = 2;
        info.strProxyServer = caseServer.HostPort();
        DeleteFileW((info.strLocalFolder + L"\\guarded.zip").c_str());
        RecordingCallback callback;
        CDownloadComponent component(&callback, &info, 1, 1);
        int dialogs = 0;
        {
            DialogAnswerer answerer(c.answer);
            component.Start(TRUE);
            dialogs = answerer.Seen();
        }

        EXPECT_EQ(dialogs, 1);
        // Cancel fails the transfer, with its own report; it is no silent stop.
        const auto events = callback.Events();
        if (c.downloaded) {
            EXPECT_TRUE(events.empty());
        } else {
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].rfind(L"OnError:Aborting transfer", 0), 0u) << events[0];
            EXPECT_FALSE(component.IsCancelled());
        }
        EXPECT_EQ(FileExists(info.strLocalFolder + L"\\guarded.zip"), c.downloaded);
        if (c.downloaded) {
            EXPECT_EQ(caseServer.Requests().back().Header("Proxy-Authorization").value_or(""),
                      expected);
        }
    }
}

// A file served by an impairment server, and the record that fetches it as a run's part.
struct ServedFile {
    ServedFile() { WriteFileBytes(tree / L"f.zip", body); }
    DownloadComponentInfo Record() const {
        DownloadComponentInfo info;
        info.strURL = L"http://" + server.HostPort() + L"/f.zip";
        info.strLocalFolder = parts.Path();
        info.strDisplayName = L"f.zip";
        info.nAccessType = 1;
        info.bKeepPartOnFailure = TRUE;
        return info;
    }
    std::wstring Part() const { return parts / L"f.zip"; }
    std::vector<httptest::ReceivedRequest> Requests() const { return server.Requests(); }

    std::string body = Pattern(20000);
    TestFolder tree;
    TestFolder parts;
    CImpairmentServer server{tree.Path()};
};

// A body that drips below the speed floor ends its try as a timeout would: it is tried again,
// resumed from the bytes it brought, and arrives whole.
TEST_F(DownloadComponentTest, ADripBelowTheSpeedFloorIsRetriedAndResumed) {
    ServedFile served;
    // 64 bytes every 250 ms: 256 bytes/s, under a floor of 1 KiB/s over 2 s.
    served.server.Impair("/f.zip", {CImpairmentServer::Impairment::Drip, 1, 250});
    DownloadComponentInfo info = served.Record();
    info.nRetries = 3;
    RecordingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);
    component.m_speedFloor = {2000, 2048};

    component.Start(TRUE);

    EXPECT_TRUE(component.IsReceived());
    EXPECT_EQ(ReadFileBytes(served.Part()), served.body);
    EXPECT_GE(lines.CountContaining(L"bytes: stalled"), 1);
    const auto requests = served.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_FALSE(requests.front().Header("Range").has_value());
    EXPECT_TRUE(requests.back().Header("Range").has_value());
    EXPECT_TRUE(requests.back().Header("If-Range").has_value());
}

// A part left by an earlier run is resumed only with the validator saved beside it: the
// server then sends the rest, or the whole object when it changed; a part without one is
// fetched whole.
TEST_F(DownloadComponentTest, APartFromAnEarlierRunResumesOnlyWithItsSavedValidator) {
    const struct {
        const char* name;
        bool validatorSaved;
        bool objectChanged;
        bool rangeAsked;
    } cases[] = {
        {"the same object", true, false, true},
        {"the object changed", true, true, true},
        {"no validator saved", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServedFile served;
        // The earlier run: closed before its length, its part kept.
        served.server.Impair("/f.zip", {CImpairmentServer::Impairment::CutMidway});
        DownloadComponentInfo info = served.Record();
        {
            RecordingCallback callback;
            CDownloadComponent earlier(&callback, &info, 1, 1);
            earlier.Start(TRUE);
            ASSERT_FALSE(earlier.IsReceived());
        }
        const uint64_t held = ReadFileBytes(served.Part()).size();
        ASSERT_GT(held, 0u);
        ASSERT_EQ(FileExists(served.Part() + L".validator"), true);
        if (!c.validatorSaved) DeleteFileW((served.Part() + L".validator").c_str());
        if (c.objectChanged) {
            served.body = Pattern(20000);
            for (char& byte : served.body) byte = static_cast<char>(byte ^ 0x5A);
            WriteFileBytes(served.tree / L"f.zip", served.body);
        }

        // This run: resumed one byte before the part's end, as the engine asks.
        info.nStartPos = held - 1;
        RecordingCallback callback;
        CDownloadComponent later(&callback, &info, 1, 1);
        later.Start(TRUE);

        EXPECT_TRUE(later.IsReceived());
        EXPECT_EQ(ReadFileBytes(served.Part()), served.body);
        const auto requests = served.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests.back().Header("Range").has_value(), c.rangeAsked);
        EXPECT_EQ(requests.back().Header("If-Range").has_value(), c.rangeAsked);
        // A part received whole needs no validator any more.
        EXPECT_FALSE(FileExists(served.Part() + L".validator"));
    }
}

}  // namespace
