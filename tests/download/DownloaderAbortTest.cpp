// Abort from another thread, and the figures a server drives: the engine stops downloads and
// destroys its manager through these paths.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "download/CHttpDownloader.h"
#include "download/CTransferAbort.h"
#include "download/DebugLines.h"
#include "download/TestFiles.h"
#include "support/common/TestFolder.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using downloadtest::DebugLines;
using downloadtest::FileExists;
using downloadtest::Pattern;
using downloadtest::ReadFileBytes;
using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;
using testsupport::TestFolder;

// Counts reports and block reads; both must stay silent after an abort.
class WatchedDownloader : public CHttpDownloader {
public:
    void ReportError(const wchar_t* format, DWORD error) override {
        ++reports;
        CHttpDownloader::ReportError(format, error);
    }
    void ReportStatusCode(const wchar_t* format, DWORD code) override {
        ++reports;
        CHttpDownloader::ReportStatusCode(format, code);
    }
    void OnTransferProgress(ULONGLONG bytesRead, BOOL, ULONGLONG) override {
        if (bytesRead > 0) ++reads;
    }

    std::atomic<int> reports{0};
    std::atomic<int> reads{0};
};

// Calls Abort from a thread of its own once ready() holds (polled for at most 20 s).
class Aborter {
public:
    template <typename Ready>
    Aborter(CHttpDownloader& downloader, Ready ready)
        : thread([&downloader, ready] {
              for (int i = 0; i < 1000 && !ready(); ++i) Sleep(20);
              Sleep(100);  // let the downloader block in its send or read
              downloader.Abort();
          }) {}
    ~Aborter() { thread.join(); }

private:
    std::thread thread;
};

class DownloaderAbortTest : public ::testing::Test {
protected:
    void Prepare(CHttpDownloader& downloader) {
        downloader.m_strURL = server.Url("/file.bin");
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;
    }

    // A blocked send or read ends at the latest when the server goes; under Wine closing the
    // request does not cancel it, so the server's short life bounds those tests.
    CLoopbackHttpServer server{std::chrono::seconds(4)};
    TestFolder folder;
    DebugLines lines;
    std::wstring target = folder / L"file.bin";
};

TEST_F(DownloaderAbortTest, AbortDuringABlockedReadKeepsThePartAndReportsNothing) {
    const std::string body = Pattern(64 * 1024);
    ScriptedResponse response = ScriptedResponse::Ok(body);
    response.dropAfterBodyBytes = 8 * 1024;
    response.holdAfterBodyBytes = true;  // then silence, with the rest still announced
    server.Enqueue(response);
    WatchedDownloader downloader;
    Prepare(downloader);
    BOOL result = FALSE;
    {
        const Aborter aborter(downloader, [&] { return downloader.reads >= 8; });
        result = downloader.Download();
    }
    EXPECT_TRUE(result);
    EXPECT_EQ(downloader.reports, 0);
    EXPECT_EQ(ReadFileBytes(target), body.substr(0, 8 * 1024));
    EXPECT_EQ(lines.CountStartingWith(L"An error occurred"), 0);
}

TEST_F(DownloaderAbortTest, AbortDuringABlockedSendEndsWithoutRetriesOrReports) {
    ScriptedResponse response = ScriptedResponse::Ok("never sent");
    response.holdWithoutAnswer = true;
    server.Enqueue(response);
    WatchedDownloader downloader;
    Prepare(downloader);
    BOOL result = TRUE;
    {
        const Aborter aborter(downloader, [&] { return !server.Requests().empty(); });
        result = downloader.Download();
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(downloader.reports, 0);
    // Nothing changes after an abort: the file opened before it stays as it was, empty.
    EXPECT_EQ(ReadFileBytes(target), "");
    EXPECT_TRUE(FileExists(target));
    EXPECT_EQ(lines.CountContaining(L"Failed in call to HttpSendRequest"), 0);
    EXPECT_EQ(lines.CountStartingWith(L"Failed to receive a valid response"), 0);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(DownloaderAbortTest, AbortBeforeTheStartSendsNothing) {
    server.Enqueue(ScriptedResponse::Ok("body"));
    WatchedDownloader downloader;
    Prepare(downloader);
    downloader.Abort();
    EXPECT_FALSE(downloader.Download());
    EXPECT_EQ(downloader.reports, 0);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DownloaderAbortTest, TinyBandwidthCapPausesBoundedlyAndYieldsToAbort) {
    const std::string body = Pattern(3000);
    server.Enqueue(ScriptedResponse::Ok(body));
    WatchedDownloader downloader;
    Prepare(downloader);
    downloader.m_nBufferSize = 1000;
    downloader.m_dMaxBytesPerMs = 1e-300;  // wants a pause far beyond any integer
    BOOL result = FALSE;
    {
        const Aborter aborter(downloader, [&] { return downloader.reads >= 1; });
        result = downloader.Download();
    }
    EXPECT_TRUE(result);
    EXPECT_EQ(downloader.reports, 0);
    EXPECT_EQ(ReadFileBytes(target), body.substr(0, ReadFileBytes(target).size()));
    EXPECT_LT(ReadFileBytes(target).size(), body.size());
}

TEST_F(DownloaderAbortTest, NegativeContentLengthCountsAsNone) {
    ScriptedResponse response = ScriptedResponse::Ok("abc");
    response.contentLengthFromBody = false;
    response.contentLength = std::nullopt;
    response.Header("Content-Length", "-5");
    server.Enqueue(response);
    WatchedDownloader downloader;
    Prepare(downloader);
    EXPECT_TRUE(downloader.Download());
    EXPECT_EQ(ReadFileBytes(target), "abc");
    EXPECT_FALSE(lines.Has(L"Got a Content-Length header value of 18446744073709551611\n"));
}

// The run's stop: it reaches a transfer that begins after it, before any request, and one
// that blocks while it comes; Reset lets the next run's transfers go.
TEST_F(DownloaderAbortTest, TheRunsStopReachesTransfersWhenEverTheyBeginUntilReset) {
    ScriptedResponse hold = ScriptedResponse::Ok("never sent");
    hold.holdWithoutAnswer = true;
    server.Route("/file.bin", hold);
    CTransferAbort abort;
    abort.Stop();
    EXPECT_EQ(WaitForSingleObject(abort.Event(), 0), WAIT_OBJECT_0);
    {
        WatchedDownloader early;
        Prepare(early);
        const CWatchedTransfer watched(abort, early);
        EXPECT_TRUE(early.IsAborted());
        EXPECT_FALSE(early.Download());
        EXPECT_EQ(early.reports, 0);
    }
    EXPECT_TRUE(server.Requests().empty());

    abort.Reset();
    EXPECT_FALSE(abort.Stopped());
    EXPECT_EQ(WaitForSingleObject(abort.Event(), 0), WAIT_TIMEOUT);
    WatchedDownloader late;
    Prepare(late);
    const CWatchedTransfer watched(abort, late);
    EXPECT_FALSE(late.IsAborted());
    std::thread stopper([&] {
        for (int i = 0; i < 1000 && server.Requests().empty(); ++i) Sleep(10);
        Sleep(100);  // let the downloader block in its send
        abort.Stop();
    });
    EXPECT_FALSE(late.Download());
    stopper.join();
    EXPECT_TRUE(late.IsAborted());
    EXPECT_EQ(late.reports, 0);
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
