#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "download/CHttpDownloader.h"
#include "download/CParallelDownload.h"
#include "download/CTransferAbort.h"
#include "download/DebugLines.h"
#include "download/RecordingCallback.h"
#include "download/TestFiles.h"
#include "support/common/TestFolder.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using downloadtest::DebugLines;
using downloadtest::FileExists;
using downloadtest::Pattern;
using downloadtest::ReadFileBytes;
using downloadtest::RecordingCallback;
using httptest::CLoopbackHttpServer;
using httptest::ReceivedRequest;
using httptest::ScriptedResponse;
using testsupport::TestFolder;
using Events = std::vector<std::wstring>;

class ParallelDownloadTest : public ::testing::Test {
protected:
    DownloadComponentInfo Record(const std::wstring& url, const std::wstring& name) {
        DownloadComponentInfo info;
        info.strURL = url;
        info.strLocalFolder = folder.Path();
        info.strDisplayName = name;
        info.nAccessType = 1;
        return info;
    }

    // Runs the list as the update engine does, and returns the records received whole.
    std::vector<size_t> RunList(RecordingCallback& callback, int connections) {
        std::mutex doneLock;
        std::vector<size_t> done;
        CParallelDownload list(callback, abort, connections, [&](size_t index) {
            std::lock_guard<std::mutex> guard(doneLock);
            done.push_back(index);
        });
        EXPECT_TRUE(list.Start());
        list.Wait();
        std::sort(done.begin(), done.end());
        return done;
    }

    CLoopbackHttpServer server;
    TestFolder folder;
    DebugLines lines;
    std::shared_ptr<CTransferAbort> abort = std::make_shared<CTransferAbort>();
};



TEST_F(ParallelDownloadTest, FetchesUpToTheConnectionCountAtOnce) {
    // Each answer waits until three requests are in at once (at most 10 s).
    std::mutex lock;
    std::condition_variable arrived;
    int inFlight = 0, most = 0;
    server.SetHandler([&](const ReceivedRequest& request) {
        std::unique_lock<std::mutex> guard(lock);
        most = std::max(most, ++inFlight);
        arrived.notify_all();
        arrived.wait_for(guard, std::chrono::seconds(10), [&] { return most >= 3; });
        --inFlight;
        return ScriptedResponse::Ok("body of " + request.target);
    });
    DownloadList list;
    for (const wchar_t* name : {L"a.zip", L"b.zip", L"c.zip", L"d.zip", L"e.zip"})
        list.push_back(Record(server.Url("/" + std::string(name, name + 5)), name));
    RecordingCallback callback(list);

    EXPECT_EQ(RunList(callback, 3), (std::vector<size_t>{0, 1, 2, 3, 4}));

    EXPECT_EQ(callback.Events(), Events({L"OnComplete"}));
    EXPECT_EQ(most, 3);
    EXPECT_EQ(ReadFileBytes(folder / L"e.zip"), "body of /e.zip");
}

TEST_F(ParallelDownloadTest, FirstFailureStopsTheListAndIsReportedOnce) {
    server.Route("/a.zip", ScriptedResponse::Ok("first"));
    server.Route("/b.zip", ScriptedResponse::Status(404, "Not Found"));
    server.Route("/c.zip", ScriptedResponse::Ok("third"));
    RecordingCallback callback({Record(server.Url("/a.zip"), L"a.zip"),
                                Record(server.Url("/b.zip"), L"b.zip"),
                                Record(server.Url("/c.zip"), L"c.zip")});

    EXPECT_EQ(RunList(callback, 1), (std::vector<size_t>{0}));

    EXPECT_EQ(callback.Events(),
              Events({L"OnError:Failed to receive a valid HTTP response from the server, "
                      L"Response Code:404",
                      L"OnStopped"}));
    EXPECT_EQ(ReadFileBytes(folder / L"a.zip"), "first");
    EXPECT_FALSE(FileExists(folder / L"b.zip"));
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ParallelDownloadTest, FailureAbortsTheTransfersInFlight) {
    // a.zip answers only once the list is stopped (Windows ends its send at the abort; Wine
    // does not, so the answer then ends it): only the failure of b.zip can stop it. b.zip
    // fails once a.zip is in flight.
    std::atomic<bool> aArrived{false};
    server.SetHandler([&](const ReceivedRequest& request) {
        if (request.target == "/b.zip") {
            for (int i = 0; i < 1000 && !aArrived; ++i) Sleep(10);
            EXPECT_TRUE(aArrived);
            return ScriptedResponse::Status(500, "Broken");
        }
        aArrived = true;
        for (int i = 0; i < 1000 && !abort->Stopped(); ++i) Sleep(10);
        EXPECT_TRUE(abort->Stopped());
        return ScriptedResponse::Ok("too late");
    });
    RecordingCallback callback(
        {Record(server.Url("/a.zip"), L"a.zip"), Record(server.Url("/b.zip"), L"b.zip")});

    EXPECT_TRUE(RunList(callback, 2).empty());

    EXPECT_EQ(callback.Events(),
              Events({L"OnError:Failed to receive a valid HTTP response from the server, "
                      L"Response Code:500",
                      L"OnStopped"}));
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(ReadFileBytes(folder / L"a.zip"), "");
}

TEST_F(ParallelDownloadTest, EndsAtOnceForAnEmptyListOrAStopAlreadyAsked) {
    RecordingCallback empty;
    EXPECT_TRUE(RunList(empty, 6).empty());
    EXPECT_EQ(empty.Events(), Events({L"OnComplete"}));

    RecordingCallback stopped({Record(server.Url("/a.zip"), L"a.zip")});
    stopped.stopped = true;
    EXPECT_TRUE(RunList(stopped, 6).empty());
    EXPECT_EQ(stopped.Events(), Events({L"OnStopped"}));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ParallelDownloadTest, StopDuringTheLastTransferIsAStopNotACompletion) {
    server.Route("/a.zip", ScriptedResponse::Ok("first"));
    server.Route("/b.zip", ScriptedResponse::Ok(Pattern(200000)));
    RecordingCallback callback(
        {Record(server.Url("/a.zip"), L"a.zip"), Record(server.Url("/b.zip"), L"b.zip")});
    callback.list[1].nBufferSize = 1024;
    // The third report of b.zip asks to stop.
    callback.stopAfterProgress = 3;
    callback.stopCountsIndex = 2;

    EXPECT_EQ(RunList(callback, 1), (std::vector<size_t>{0}));

    EXPECT_EQ(callback.Events(), Events({L"OnStopped"}));
    EXPECT_EQ(server.Requests().size(), 2u);
    const size_t kept = ReadFileBytes(folder / L"b.zip").size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 200000u);
}

TEST_F(ParallelDownloadTest, MissingListEndsStoppedWithTheDownloadErrorText) {
    struct NoList : RecordingCallback {
        DownloadList* GetComponents() override { return nullptr; }
    } callback;

    EXPECT_TRUE(RunList(callback, 6).empty());

    EXPECT_EQ(callback.Events(), Events({L"OnError:Failed to download file : -", L"OnStopped"}));
}

// A loopback port held by this test, bound and never listening: a connection to it is refused,
// and no other program can take the port while the test runs.
class RefusingPort {
public:
    RefusingPort() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (socket != INVALID_SOCKET &&
            bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~RefusingPort() {
        if (socket != INVALID_SOCKET) closesocket(socket);
        if (started) WSACleanup();
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    // 0 when no port could be held.
    unsigned short Port() const { return port; }

private:
    bool started = false;
    SOCKET socket = INVALID_SOCKET;
    unsigned short port = 0;
};

// A refused connection is final: no try after it, and the list stops.
TEST_F(ParallelDownloadTest, UnreachableServerFailsAtOnceAndTheListStops) {
    const RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    const std::wstring unreachable =
        L"http://127.0.0.1:" + std::to_wstring(refusing.Port()) + L"/a.zip";
    server.Route("/b.zip", ScriptedResponse::Ok("never"));
    RecordingCallback callback(
        {Record(unreachable, L"a.zip"), Record(server.Url("/b.zip"), L"b.zip")});

    EXPECT_TRUE(RunList(callback, 1).empty());

    const std::wstring text = L"An error occurred connecting to the server, Error:" +
                              CHttpDownloader::GetWinInetErrorText(ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(callback.Events(), Events({L"OnError:" + text, L"OnStopped"}));
    EXPECT_EQ(lines.CountStartingWith(L"CHttpDownloader::Transfer, Failed in call to HttpSendRequest"),
              1);
    EXPECT_FALSE(FileExists(folder / L"a.zip"));
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
