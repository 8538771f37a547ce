// The update engine against servers and proxies as they are in the field: a loopback server
// that delays heads, resets bodies, answers 503, ignores or garbles ranges, chunks, gzips,
// sends a portal's page and answers validators with 304.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "RecordingNotify.h"
#include "UpdateTestFiles.h"
#include "EngineFixture.h"
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
        if (manager->CheckForUpdates() != 2) return L"check:" + std::wstring(manager->GetLastErrorText());
        if (manager->StartDownload(&notify, true) != 1 || !notify.WaitForDownloadEnd())
            return L"no end";
        return notify.Events().back();
    }
    size_t Asked(const std::string& path) const {
        const auto paths = server.Paths();
        return static_cast<size_t>(std::count(paths.begin(), paths.end(), path));
    }
    uint64_t PackageSize() const { return updatetest::FileBytes(tree.PackagePath("Big.bin")).size(); }

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
    const struct {
        const char* name;
        CImpairmentServer::Plan plan;
        size_t requests;      // of the big package
        bool resumedWithIfRange;  // the last request asked for the rest, validated
    } cases[] = {
        // Longer than the old 4-second bound on an answer's head.
        {"head after 5 s", {Impairment::DelayHead, 1, 5000}, 1, false},
        {"reset midway", {Impairment::ResetMidway}, 2, true},
        {"closed before its length", {Impairment::CutMidway}, 2, true},
        {"503 with Retry-After twice", {Impairment::ServiceUnavailable, 2, 0, "1"}, 3, false},
        {"chunked", {Impairment::Chunked}, 1, false},
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
        EXPECT_EQ(last->Header("If-Range").has_value(), c.resumedWithIfRange);
        EXPECT_EQ(last->Header("Accept-Encoding").value_or(""), "identity");
        EXPECT_FALSE(last->Header("Pragma"));
        // A resumed package costs little more than its size.
        if (c.resumedWithIfRange) {
            EXPECT_LT(run.server.BodyBytesSent(kBigPackagePath), run.PackageSize() * 11 / 10);
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
// verified again; a changed one is fetched whole.
TEST(FieldNetworkTest, AnUnchangedManifestIsAnswered304AndReused) {
    FieldRun run;
    // Installed before the phase's end is told.
    ASSERT_EQ(run.Run(), L"complete");
    run.NewManager();
    const size_t before = run.server.Requests().size();
    const uint64_t bytesBefore = run.server.BodyBytesSent();

    EXPECT_EQ(run.manager->CheckForUpdates(), 0);

    const auto requests = run.server.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().target, "/Patch/RudovuZado.ini.zip");
    EXPECT_TRUE(requests.back().Header("If-None-Match"));
    EXPECT_EQ(requests.back().Header("If-Modified-Since").value_or(""),
              CImpairmentServer::kLastModified);
    EXPECT_EQ(run.server.BodyBytesSent(), bytesBefore);

    // A newer release: the validators no longer match and the manifest comes whole.
    run.tree.AddPackage("Small.txt", "smaller", updatetree::LocalTime(2024, 4, 1, 10, 0, 4));
    run.tree.PublishManifest(
        "[Small.txt]\nModifyDate=2024-04-01 10:00\nCheckDate=1\nType=Common\n"
        "[Big.bin]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n");
    run.NewManager();
    EXPECT_EQ(run.manager->CheckForUpdates(), 1);
    EXPECT_GT(run.server.BodyBytesSent(), bytesBefore);
}

}  // namespace
