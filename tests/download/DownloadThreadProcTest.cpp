#include <gtest/gtest.h>
#include <process.h>

#include "download/CHttpDownloader.h"
#include "download/DebugLines.h"
#include "download/DownloadThreadProc.h"
#include "download/RecordingCallback.h"
#include "support/common/TestFolder.h"
#include "download/TestFiles.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using downloadtest::DebugLines;
using downloadtest::FileExists;
using downloadtest::Pattern;
using downloadtest::ReadFileBytes;
using downloadtest::RecordingCallback;
using testsupport::TestFolder;
using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;
using Events = std::vector<std::wstring>;

class DownloadThreadProcTest : public ::testing::Test {
protected:
    DownloadComponentInfo Record(const std::wstring& url, const std::wstring& name) {
        DownloadComponentInfo info;
        info.strURL = url;
        info.strLocalFolder = folder.Path();
        info.strDisplayName = name;
        info.nAccessType = 1;
        return info;
    }

    // Runs the list on a thread of its own, as the update engine does.
    static void RunList(RecordingCallback& callback) {
        const uintptr_t thread =
            _beginthreadex(nullptr, 0, &DownloadThreadProc,
                           static_cast<IDownloadCallback*>(&callback), 0, nullptr);
        ASSERT_NE(thread, 0u);
        WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
        CloseHandle(reinterpret_cast<HANDLE>(thread));
    }

    CLoopbackHttpServer server;
    TestFolder folder;
    DebugLines lines;
};

TEST_F(DownloadThreadProcTest, StatusFailureOfOneRecordDoesNotStopTheList) {
    server.Route("/a.zip", ScriptedResponse::Ok("first"));
    server.Route("/b.zip", ScriptedResponse::Status(404, "Not Found"));
    server.Route("/c.zip", ScriptedResponse::Ok("third"));
    RecordingCallback callback({Record(server.Url("/a.zip"), L"a.zip"),
                                Record(server.Url("/b.zip"), L"b.zip"),
                                Record(server.Url("/c.zip"), L"c.zip")});

    RunList(callback);

    EXPECT_EQ(callback.Events(),
              Events({L"OnError:Failed to receive a valid HTTP response from the server, "
                      L"Response Code:404",
                      L"OnComplete"}));
    EXPECT_EQ(ReadFileBytes(folder / L"a.zip"), "first");
    EXPECT_FALSE(FileExists(folder / L"b.zip"));
    EXPECT_EQ(ReadFileBytes(folder / L"c.zip"), "third");
    const auto reports = callback.ProgressReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().index, 1);
    EXPECT_EQ(reports.front().totalPercent, 33);
    EXPECT_EQ(reports.back().index, 3);
    EXPECT_EQ(reports.back().totalPercent, 100);
    EXPECT_EQ(reports.back().name, folder / L"c.zip");
}

TEST_F(DownloadThreadProcTest, EndsAtOnceForAnEmptyListOrAStopAlreadyAsked) {
    RecordingCallback empty;
    RunList(empty);
    EXPECT_EQ(empty.Events(), Events({L"OnComplete"}));

    RecordingCallback stopped({Record(server.Url("/a.zip"), L"a.zip")});
    stopped.stopped = true;
    RunList(stopped);
    EXPECT_EQ(stopped.Events(), Events({L"OnStopped"}));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DownloadThreadProcTest, StopDuringATransferEndsTheList) {
    server.Route("/a.zip", ScriptedResponse::Ok(Pattern(20000)));
    server.Route("/b.zip", ScriptedResponse::Ok("never"));
    RecordingCallback callback(
        {Record(server.Url("/a.zip"), L"a.zip"), Record(server.Url("/b.zip"), L"b.zip")});
    callback.stopAfterProgress = 3;

    RunList(callback);

    EXPECT_EQ(callback.Events(), Events({L"OnStopped"}));
    EXPECT_EQ(callback.ProgressReports().size(), 3u);
    EXPECT_EQ(ReadFileBytes(folder / L"a.zip"), Pattern(20000).substr(0, 4096));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(DownloadThreadProcTest, MissingListEndsWithTheDownloadErrorText) {
    struct NoList : RecordingCallback {
        DownloadList* GetComponents() override { return nullptr; }
    } callback;

    RunList(callback);

    EXPECT_EQ(callback.Events(), Events({L"OnError:Failed to download file : -"}));
}

// The one slow test: ten send attempts one second apart against a port where nothing listens.
// The failure is reported once; a receiver that stops on it, as the engine does, ends the list.
TEST_F(DownloadThreadProcTest, UnreachableServerIsTriedTenTimesAndReportedOnce) {
    const std::wstring unreachable =
        L"http://127.0.0.1:" + std::to_wstring(CLoopbackHttpServer::UnusedPort()) + L"/a.zip";
    server.Route("/b.zip", ScriptedResponse::Ok("never"));
    RecordingCallback callback(
        {Record(unreachable, L"a.zip"), Record(server.Url("/b.zip"), L"b.zip")});
    callback.stopOnError = true;

    RunList(callback);

    const std::wstring text = L"An error occurred connecting to the server, Error:" +
                              CHttpDownloader::GetWinInetErrorText(ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(callback.Events(), Events({L"OnError:" + text, L"OnStopped"}));
    EXPECT_EQ(lines.CountContaining(L"Failed in call to HttpSendRequest, Error:12029"), 10);
    EXPECT_EQ(lines.CountStartingWith(text), 1);
    EXPECT_FALSE(FileExists(folder / L"a.zip"));
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
