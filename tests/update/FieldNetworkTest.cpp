// The update engine against servers and proxies as they are in the field: a loopback server
// that delays heads, resets bodies, answers 503, ignores or garbles ranges, chunks, gzips,
// sends a portal's page and answers validators with 304.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "EngineFixture.h"
#include "RecordingNotify.h"
#include "UpdateTestFiles.h"
#include "download/CProxyPrompt.h"
#include "download/DebugLines.h"
#include "support/common/TestFolder.h"
#include "support/httpserver/CImpairmentServer.h"
#include "support/updatetree/CUpdateTree.h"
#include "update/CUpdateManagerLite.h"

namespace {

using httptest::CImpairmentServer;
using Impairment = CImpairmentServer::Impairment;
using updatetest::FileBytes;
using updatetest::Narrow;
using updatetree::LocalTime;

const SYSTEMTIME kStored = LocalTime(2024, 3, 1, 10, 0, 4);
const std::string kBigPackagePath = "/RudovuZado/Big.bin.zip";

// Not compressible, so that the package is as large as the file.
std::string Noise(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// One release of two files, served by an impairment server, and an engine to fetch it.
struct FieldRun {
    FieldRun() {
        tree.AddPackage("Small.txt", "small", kStored);
        tree.AddPackage("Big.bin", big, kStored);
        tree.PublishManifest(
            "[Small.txt]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n"
            "[Big.bin]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n");
        NewManager();
    }
    void NewManager() {
        manager.reset();
        manager = std::make_unique<CUpdateManagerLite>(server.Url(), install.Path());
        manager->UseDirectConnection();
        manager->AddTypeFilter(L"Common");
    }
    // The check, the download and the installation; the phase's final event.
    std::wstring Run() {
        if (manager->CheckForUpdates() != 2)
            return L"check:" + std::wstring(manager->GetLastErrorText());
        if (manager->StartDownload(&notify, true) != 1 || !notify.WaitForDownloadEnd())
            return L"no end";
        return notify.Events().back();
    }
    size_t Asked(const std::string& path) const {
        const auto paths = server.Paths();
        return static_cast<size_t>(std::count(paths.begin(), paths.end(), path));
    }
    uint64_t PackageSize() const {
        return updatetest::FileBytes(tree.PackagePath("Big.bin")).size();
    }

    const std::string big = Noise(300000);
    testsupport::TestFolder treeFolder;
    testsupport::TestFolder install;
    updatetree::CUpdateTree tree{treeFolder.Path()};
    CImpairmentServer server{treeFolder.Path(), "/Patch"};
    updatetest::RecordingNotify notify;
    std::unique_ptr<CUpdateManagerLite> manager;
};

// Each impairment of the big package, once (or as told), and what the run makes of it.
TEST(FieldNetworkTest, TransientTroubleIsRetriedAndResumedAndTheRunCompletes) {
    // Longer than any wait the backoff alone gives the first two tries (at most 1 s, then 2 s).
    constexpr int kRetryAfterSeconds = 3;
    // A wait may end up to a timer tick early.
    constexpr int kTimerSlackMs = 100;
    const struct {
        const char* name;
        CImpairmentServer::Plan plan;
        size_t requests;          // of the big package
        bool resumedWithIfRange;  // the last request asked for the rest, validated
        int waitedMs;             // the least time between two of its requests
    } cases[] = {
        // Longer than the old 4-second bound on an answer's head.
        {"head after 5 s", {Impairment::DelayHead, 1, 5000}, 1, false, 0},
        {"reset midway", {Impairment::ResetMidway}, 2, true, 0},
        {"closed before its length", {Impairment::CutMidway}, 2, true, 0},
        {"503 with Retry-After twice",
         {Impairment::ServiceUnavailable, 2, 0, std::to_string(kRetryAfterSeconds)},
         3,
         false,
         kRetryAfterSeconds * 1000 - kTimerSlackMs},
        {"chunked", {Impairment::Chunked}, 1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FieldRun run;
        run.server.Impair(kBigPackagePath, c.plan);

        EXPECT_EQ(run.Run(), L"complete");

        EXPECT_EQ(run.Asked(kBigPackagePath), c.requests);
        EXPECT_TRUE(FileBytes(run.install / L"Big.bin") == run.big);
        EXPECT_EQ(FileBytes(run.install / L"Small.txt"), "small");
        const auto requests = run.server.Requests();
        const auto last = std::find_if(requests.rbegin(), requests.rend(), [](const auto& r) {
            return r.target == "/Patch" + kBigPackagePath;
        });
        ASSERT_NE(last, requests.rend());
        EXPECT_EQ(last->Header("Range").has_value(), c.resumedWithIfRange);
        // Each new try waited as long as the server asked.
        std::vector<std::chrono::steady_clock::time_point> times;
        for (const auto& request : requests)
            if (request.target == "/Patch" + kBigPackagePath) times.push_back(request.arrived);
        for (size_t i = 1; i < times.size(); ++i)
            EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(c.waitedMs))
                << "try " << i;
        EXPECT_EQ(last->Header("If-Range").has_value(), c.resumedWithIfRange);
        EXPECT_EQ(last->Header("Accept-Encoding").value_or(""), "identity");
        EXPECT_FALSE(last->Header("Pragma"));
        // A resumed package costs hardly more than its size: the bytes that arrived before the
        // trouble were kept, not held in a read that waited to fill its buffer.
        if (c.resumedWithIfRange) {
            EXPECT_LT(run.server.BodyBytesSent(kBigPackagePath), run.PackageSize() * 51 / 50);
        }
    }
}

// After a reset, the server's answer to the resumed request does not fit: the part is fetched
// again whole, never appended to.
TEST(FieldNetworkTest, AResumedAnswerThatDoesNotFitRestartsThePackage) {
    for (const Impairment second : {Impairment::IgnoreRanges, Impairment::MismatchedRange}) {
        SCOPED_TRACE(static_cast<int>(second));
        FieldRun run;
        run.server.Impair(kBigPackagePath, {Impairment::ResetMidway});
        run.server.Impair(kBigPackagePath, {second, 1});

        EXPECT_EQ(run.Run(), L"complete");

        EXPECT_TRUE(FileBytes(run.install / L"Big.bin") == run.big);
        // The misfitting answer is dropped: a garbled range costs one more request from 0.
        EXPECT_EQ(run.Asked(kBigPackagePath), second == Impairment::IgnoreRanges ? 2u : 3u);
    }
}

// Answers no new try can mend fail the run at once, with a text that says what came.
TEST(FieldNetworkTest, AnswersThatCannotBeKeptFailAtOnceWithTheirOwnText) {
    const struct {
        const char* name;
        Impairment kind;
        std::vector<std::wstring> inText;
    } cases[] = {
        {"gzip", Impairment::Gzip, {L"Content-Encoding gzip"}},
        {"a portal's page",
         Impairment::HtmlPage,
         {L"is not an update package", L"/Patch/RudovuZado/Big.bin.zip", L"HTTP 200",
          L"Content-Type: text/html"}},
        {"404", Impairment::NotFound, {L"Response Code:404"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FieldRun run;
        run.server.Impair(kBigPackagePath, {c.kind, -1});

        const std::wstring final = run.Run();

        ASSERT_EQ(final.rfind(L"error:", 0), 0u) << Narrow(final);
        for (const std::wstring& part : c.inText)
            EXPECT_NE(final.find(part), std::wstring::npos) << Narrow(final);
        EXPECT_EQ(run.Asked(kBigPackagePath), 1u);  // not tried again
        EXPECT_FALSE(updatetest::Exists(run.install / L"Big.bin"));
    }
}

// A cut chunked body is no whole package: the run never installs it as one.
TEST(FieldNetworkTest, ACutChunkedBodyIsTriedAgain) {
    FieldRun run;
    run.server.Impair(kBigPackagePath, {Impairment::ChunkedCut});

    EXPECT_EQ(run.Run(), L"complete");

    EXPECT_EQ(run.Asked(kBigPackagePath), 2u);
    EXPECT_TRUE(FileBytes(run.install / L"Big.bin") == run.big);
}

// An unchanged manifest costs one request, answered 304 without a body, and the kept copy is
// verified again and read: a file missing since is fetched; a changed manifest is fetched whole.
TEST(FieldNetworkTest, AnUnchangedManifestIsAnswered304AndReused) {
    FieldRun run;
    // Installed before the phase's end is told.
    ASSERT_EQ(run.Run(), L"complete");
    run.NewManager();
    const size_t before = run.server.Requests().size();
    const uint64_t bytesBefore = run.server.BodyBytesSent();
    const std::wstring unchanged = L"CUpdateManagerLite::CheckForUpdates, " + run.server.Url() +
                                   L"/RudovuZado.ini.zip unchanged (304)\n";
    downloadtest::DebugLines lines;

    EXPECT_EQ(run.manager->CheckForUpdates(), 0);

    // Taken as the kept copy, not as a failed fetch.
    EXPECT_EQ(run.manager->GetLastErrorCode(), 0u) << Narrow(run.manager->GetLastErrorText());
    EXPECT_TRUE(lines.Has(unchanged));
    const auto requests = run.server.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().target, "/Patch/RudovuZado.ini.zip");
    EXPECT_TRUE(requests.back().Header("If-None-Match"));
    EXPECT_EQ(requests.back().Header("If-Modified-Since").value_or(""),
              CImpairmentServer::kLastModified);
    EXPECT_EQ(run.server.BodyBytesSent(), bytesBefore);

    // A file of the release missing since: the kept manifest names it, and it is fetched.
    ASSERT_TRUE(DeleteFileW((run.install / L"Small.txt").c_str()));
    run.NewManager();
    EXPECT_EQ(run.manager->CheckForUpdates(), 1);
    EXPECT_EQ(run.manager->GetLastErrorCode(), 0u) << Narrow(run.manager->GetLastErrorText());
    EXPECT_EQ(run.server.BodyBytesSent(), bytesBefore) << "the manifest came whole";
    updatetest::RecordingNotify notify;
    ASSERT_EQ(run.manager->StartDownload(&notify, true), 1);
    ASSERT_TRUE(notify.WaitForDownloadEnd());
    EXPECT_EQ(notify.Events().back(), L"complete");
    EXPECT_EQ(FileBytes(run.install / L"Small.txt"), "small");

    // A newer release: the validators no longer match and the manifest comes whole.
    run.tree.AddPackage("Small.txt", "smaller", updatetree::LocalTime(2024, 4, 1, 10, 0, 4));
    run.tree.PublishManifest(
        "[Small.txt]\nModifyDate=2024-04-01 10:00\nCheckDate=1\nType=Common\n"
        "[Big.bin]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n");
    run.NewManager();
    EXPECT_EQ(run.manager->CheckForUpdates(), 1);
    EXPECT_GT(run.server.BodyBytesSent(), bytesBefore);
}

// The kept manifest's validators go only to the URL whose answer carried them: a start against
// another server, whose tree has the same time, fetches that server's manifest whole.
TEST(FieldNetworkTest, ValidatorsGoOnlyToTheUrlTheyCameFrom) {
    FieldRun run;
    run.server.OmitETag();
    ASSERT_EQ(run.Run(), L"complete");

    testsupport::TestFolder otherFolder;
    updatetree::CUpdateTree other{otherFolder.Path()};
    other.AddPackage("Small.txt", "another tree", LocalTime(2024, 4, 1, 10, 0, 4));
    other.PublishManifest("[Small.txt]\nModifyDate=2024-04-01 10:00\nCheckDate=1\nType=Common\n");
    CImpairmentServer otherServer{otherFolder.Path(), "/Patch"};
    otherServer.OmitETag();
    const auto check = [&](CImpairmentServer& server) {
        CUpdateManagerLite manager(server.Url(), run.install.Path());
        manager.UseDirectConnection();
        manager.AddTypeFilter(L"Common");
        const int planned = manager.CheckForUpdates();
        const auto requests = server.Requests();
        EXPECT_FALSE(requests.empty());
        const bool conditional = !requests.empty() && requests.back().Header("If-Modified-Since");
        return std::make_pair(planned, conditional);
    };

    EXPECT_EQ(check(otherServer), std::make_pair(1, false));
    // The kept copy is now the other server's: the first is asked without validators, then with
    // its own.
    EXPECT_EQ(check(run.server), std::make_pair(0, false));
    EXPECT_EQ(check(run.server), std::make_pair(0, true));
}

}  // namespace

namespace {

// The prompt as a user answers it: the proxy's credentials, counted, with the window it had.
class AnsweringPrompt : public CProxyPrompt {
public:
    std::atomic<int> calls{0};
    std::atomic<HWND> owner{nullptr};

protected:
    bool Prompt(HWND window, HINTERNET, Credentials& given) override {
        ++calls;
        owner = window;
        given = {L"proxyuser", L"proxypass"};
        return true;
    }
};

}  // namespace

// A proxy that asks for credentials: one prompt in the run, over the run's window, and every
// transfer (the manifest's and each package's) goes through with its answer.
TEST(FieldNetworkTest, AProxyAskingForCredentialsIsAnsweredOncePerRun) {
    FieldRun run;
    run.server.RequireProxyCredentials("proxyuser", "proxypass");
    run.manager->UseNamedProxy();
    run.manager->SetProxyServer(run.server.HostPort().c_str());
    const auto prompt = std::make_shared<AnsweringPrompt>();
    run.manager->UseProxyPrompt(prompt);
    const HWND window = CreateWindowW(L"STATIC", L"run", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    run.manager->SetPromptOwner(window);

    EXPECT_EQ(run.Run(), L"complete");

    EXPECT_EQ(prompt->calls.load(), 1);
    EXPECT_EQ(prompt->owner.load(), window);
    EXPECT_TRUE(FileBytes(run.install / L"Big.bin") == run.big);
    EXPECT_EQ(FileBytes(run.install / L"Small.txt"), "small");
    size_t answered = 0;
    for (const auto& request : run.server.Requests())
        if (request.Header("Proxy-Authorization")) ++answered;
    EXPECT_GE(answered, 3u) << "the manifest and both packages, each with the answer";
    run.manager.reset();
    DestroyWindow(window);
}

namespace {

// A prompt left open until it is closed (at most 10 s), as a user away from the screen leaves it.
class UnansweredPrompt : public CProxyPrompt {
public:
    UnansweredPrompt() = default;
    ~UnansweredPrompt() override {
        CloseHandle(shown);
        CloseHandle(closed);
    }
    UnansweredPrompt(const UnansweredPrompt&) = delete;
    UnansweredPrompt& operator=(const UnansweredPrompt&) = delete;

    const HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);

protected:
    bool Prompt(HWND, HINTERNET, Credentials&) override {
        SetEvent(shown);
        WaitForSingleObject(closed, 10000);
        return false;
    }
    void ClosePrompt(DWORD) override { SetEvent(closed); }
};

}  // namespace

// A stop while the run's prompt is open closes it: the check ends with nothing to do.
TEST(FieldNetworkTest, AStopClosesTheRunsPrompt) {
    FieldRun run;
    run.server.RequireProxyCredentials("proxyuser", "proxypass");
    run.manager->UseNamedProxy();
    run.manager->SetProxyServer(run.server.HostPort().c_str());
    const auto prompt = std::make_shared<UnansweredPrompt>();
    run.manager->UseProxyPrompt(prompt);
    std::thread user([&] {
        if (WaitForSingleObject(prompt->shown, 10000) == WAIT_OBJECT_0) run.manager->StopDownload();
    });

    EXPECT_LE(run.manager->CheckForUpdates(), 0);
    user.join();

    EXPECT_EQ(WaitForSingleObject(prompt->shown, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(prompt->closed, 0), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the prompt is still open";
}
