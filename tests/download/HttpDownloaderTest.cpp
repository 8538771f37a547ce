#include <gtest/gtest.h>

#include <functional>

#include "download/CHttpDownloader.h"
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
using downloadtest::WriteFileBytes;
using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;
using testsupport::TestFolder;

const wchar_t kTextStatus[] =
    L"Failed to receive a valid HTTP response from the server, Response Code:%s";
const wchar_t kTextConnect[] = L"An error occurred connecting to the server, Error:%s";
const wchar_t kTextDownload[] = L"An error occurred while downloading the file, Error:%s";
// The domains the test builds serve: the loopback server's names.
const RedirectRule kLoopbackDomains{L"127.0.0.1", L"localhost", false};

// Records the reports and progress; prompts as the test says.
class TestDownloader : public CHttpDownloader {
public:
    struct Report {
        bool status;  // ReportStatusCode rather than ReportError
        std::wstring format;
        DWORD code;
    };

    void ReportError(const wchar_t* format, DWORD error) override {
        reports.push_back({false, format, error});
        CHttpDownloader::ReportError(format, error);
    }
    void ReportStatusCode(const wchar_t* format, DWORD code) override {
        reports.push_back({true, format, code});
        CHttpDownloader::ReportStatusCode(format, code);
    }
    BOOL PromptForCredentials(DWORD& error) override {
        ++prompts;
        return prompt ? prompt(*this, error) : CHttpDownloader::PromptForCredentials(error);
    }
    // Leaves the request unopened, so that setting options on it fails.
    BOOL CreateRequest() override { return withoutRequest || CHttpDownloader::CreateRequest(); }
    void OnTransferProgress(ULONGLONG bytesRead, BOOL gotLength, ULONGLONG total) override {
        progress.push_back(bytesRead);
        lastGotLength = gotLength;
        lastTotal = total;
    }

    std::vector<Report> reports;
    std::function<BOOL(TestDownloader&, DWORD&)> prompt;
    int prompts = 0;
    bool withoutRequest = false;
    std::vector<ULONGLONG> progress;
    BOOL lastGotLength = FALSE;
    ULONGLONG lastTotal = 0;
};

class HttpDownloaderTest : public ::testing::Test {
protected:
    void Prepare(TestDownloader& downloader, const std::string& path) {
        Prepare(downloader, path, server);
    }
    // The same against a server of the test case.
    void Prepare(TestDownloader& downloader, const std::string& path, CLoopbackHttpServer& from) {
        downloader.m_strURL = from.Url(path);
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;  // direct: no system proxy settings
    }

    CLoopbackHttpServer server;
    TestFolder folder;
    DebugLines lines;
    std::wstring target = folder / L"file.bin";
};

TEST_F(HttpDownloaderTest, DownloadsTheBodyWithAPlainGet) {
    const std::string body = Pattern(20000);
    server.Route("/pkg/a.zip", ScriptedResponse::Ok(body));
    TestDownloader downloader;
    Prepare(downloader, "/pkg/a.zip");

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), body);
    EXPECT_TRUE(downloader.reports.empty());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/pkg/a.zip");
    EXPECT_EQ(requests[0].Header("Accept").value_or(""), "*/*");
    // A proxy may share what it fetched, and must hand over the bytes themselves.
    EXPECT_FALSE(requests[0].Header("Pragma"));
    EXPECT_EQ(requests[0].Header("Accept-Encoding").value_or(""), "identity");
    EXPECT_FALSE(requests[0].Header("Range"));
    EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "http_downloader_tests");
    // One report a read: reads of at most one 1024-byte block, then the final empty one. How
    // many more the network needed (a read takes only what has arrived) is not the
    // downloader's choice.
    ASSERT_GE(downloader.progress.size(), 21u);
    EXPECT_GT(downloader.progress.front(), 0u);
    EXPECT_LE(downloader.progress.front(), 1024u);
    for (size_t i = 1; i < downloader.progress.size(); ++i)
        EXPECT_LE(downloader.progress[i] - downloader.progress[i - 1], 1024u) << "report " << i;
    EXPECT_EQ(downloader.progress.back(), 20000u);
    EXPECT_TRUE(downloader.lastGotLength);
    EXPECT_EQ(downloader.lastTotal, 20000u);
    EXPECT_TRUE(lines.Has(L"Got a Content-Length header value of 20000\n"));
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Getting file information\n"));
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Retrieving the file\n"));
}

// The downloader lives in the component's DLL: the default agent is the DLL's name, not the
// name of whatever program loaded it.
TEST_F(HttpDownloaderTest, DefaultAgentNamesTheModuleHoldingTheDownloader) {
    server.Route("/a.bin", ScriptedResponse::Ok("x"));
    HMODULE probe = LoadLibraryW(L"download_agent_probe.dll");
    ASSERT_NE(probe, nullptr);
    using Probe = BOOL (*)(const wchar_t*);
    const auto download =
        reinterpret_cast<Probe>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeDownload")));
    ASSERT_NE(download, nullptr);

    EXPECT_TRUE(download(server.Url("/a.bin").c_str()));

    FreeLibrary(probe);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("User-Agent").value_or(""), "download_agent_probe");
}

TEST_F(HttpDownloaderTest, UrlWithoutSchemeIsFetchedWithHttpInFront) {
    server.Route("/a.bin", ScriptedResponse::Ok("payload"));
    TestDownloader downloader;
    Prepare(downloader, "/a.bin");
    downloader.m_strURL = server.HostPort() + L"/a.bin";

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(downloader.m_strURL, server.Url("/a.bin"));
    EXPECT_EQ(ReadFileBytes(target), "payload");
}

// Every failure reports once, in its own way, writes its debug line and leaves no new file.
TEST_F(HttpDownloaderTest, FailuresReportTheirTextAndLeaveNoNewFile) {
    struct Case {
        const char* name;
        ScriptedResponse response;
        std::function<void(TestDownloader&)> setUp;
        bool status;
        const wchar_t* format;
        DWORD code;  // 0: any
    };
    const Case cases[] = {
        {"404", ScriptedResponse::Status(404, "Not Found"), nullptr, true, kTextStatus, 404},
        {"500", ScriptedResponse::Status(500, "Internal Server Error"), nullptr, true, kTextStatus,
         500},
        {"redirect not followed",
         ScriptedResponse::Status(302, "Found").Header("Location", "/elsewhere"),
         [](TestDownloader& d) { d.m_bNoAutoRedirect = TRUE; }, true, kTextStatus, 302},
        {"401 without credentials or prompt", ScriptedResponse::Challenge(false),
         [](TestDownloader& d) { d.m_bPromptHttpAuth = FALSE; }, true, kTextStatus, 401},
        {"unknown access type", ScriptedResponse::Ok("x"),
         [](TestDownloader& d) { d.m_nAccessType = 5; }, false,
         L"An error occurred while attempting to download the file, Error:%s",
         ERROR_INVALID_PARAMETER},
        {"file in a missing folder", ScriptedResponse::Ok("x"),
         [](TestDownloader& d) { d.m_strFileName += L"\\missing\\file.bin"; }, false,
         L"An error occured while opening the file to be downloaded, Error:%s",
         ERROR_PATH_NOT_FOUND},
        {"resume offset beyond any file size", ScriptedResponse::Ok("x"),
         [](TestDownloader& d) { d.m_nStartPos = 0x4000000000000000ULL; }, false,
         L"An error occurred while seeking to the end of the file to be downloaded, Error:%s", 0},
        // Credentials that cannot be set report the system's message, not the number.
        {"server credentials cannot be set", ScriptedResponse::Ok("x"),
         [](TestDownloader& d) {
             d.m_strUserName = L"user";
             d.withoutRequest = true;
         },
         false, L"An error occurred while attempting to download the file, Error:%s", 0},
        {"proxy credentials cannot be set", ScriptedResponse::Ok("x"),
         [](TestDownloader& d) {
             d.m_nAccessType = 2;
             d.m_strProxyServer = L"127.0.0.1:1";
             d.m_strProxyUserName = L"user";
             d.withoutRequest = true;
         },
         false, L"An error occurred while attempting to download the file, Error:%s", 0},
        {"body shorter than its Content-Length",
         ScriptedResponse::Ok(Pattern(3000)).AnnounceLength(9000), nullptr, false,
         L"An error occurred while downloading the file, Error:%s",
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"announced length beyond the body bound", ScriptedResponse::Ok(Pattern(3000)),
         [](TestDownloader& d) { d.m_nMaxBodyBytes = 2999; }, false, kTextDownload,
         ERROR_FILE_TOO_LARGE},
        {"unannounced body beyond the bound",
         ScriptedResponse::Ok(Pattern(3000)).WithoutContentLength(),
         [](TestDownloader& d) {
             d.m_nMaxBodyBytes = 2999;
             d.m_nBufferSize = 1000;
         },
         false, kTextDownload, ERROR_FILE_TOO_LARGE},
        {"connection dropped mid-body",
         [] {
             ScriptedResponse r = ScriptedResponse::Ok(Pattern(50000));
             r.dropAfterBodyBytes = 10000;
             return r;
         }(),
         nullptr, false, L"An error occurred while downloading the file, Error:%s",
         ERROR_INTERNET_CONNECTION_ABORTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        caseServer.Enqueue(c.response);
        DebugLines caseLines;
        TestDownloader downloader;
        downloader.m_strURL = caseServer.Url("/file.bin");
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;
        if (c.setUp) c.setUp(downloader);

        EXPECT_FALSE(downloader.Download());

        ASSERT_EQ(downloader.reports.size(), 1u);
        EXPECT_EQ(downloader.reports[0].status, c.status);
        EXPECT_EQ(downloader.reports[0].format, c.format);
        if (c.code != 0) {
            EXPECT_EQ(downloader.reports[0].code, c.code);
        }
        EXPECT_FALSE(FileExists(downloader.m_strFileName));
        // The report's own line, once: the template filled with the code or its message text.
        const DWORD code = downloader.reports[0].code;
        const std::wstring argument =
            c.status ? std::to_wstring(code) : CHttpDownloader::GetWinInetErrorText(code);
        EXPECT_EQ(
            caseLines.CountStartingWith(CHttpDownloader::FormatText(c.format, argument.c_str())),
            1);
    }
}

TEST_F(HttpDownloaderTest, UnsplittableUrlFailsWithoutReport) {
    TestDownloader downloader;
    Prepare(downloader, "/");
    downloader.m_strURL.clear();  // not even "http://" alone names a server

    EXPECT_FALSE(downloader.Download());

    EXPECT_TRUE(downloader.reports.empty());
    EXPECT_EQ(lines.CountContaining(L"Failed to parse the URL: "), 1);
    EXPECT_FALSE(FileExists(target));
}

TEST_F(HttpDownloaderTest, FailedResumeKeepsTheFileThatExisted) {
    WriteFileBytes(target, "0123456789");
    server.Enqueue(ScriptedResponse::Status(404, "Not Found"));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_nStartPos = 4;

    EXPECT_FALSE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "0123");
}

TEST_F(HttpDownloaderTest, StartAtZeroTruncatesAnExistingFile) {
    WriteFileBytes(target, Pattern(5000));
    server.Enqueue(ScriptedResponse::Ok("short"));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "short");
    EXPECT_FALSE(server.Requests().at(0).Header("Range"));
}

TEST_F(HttpDownloaderTest, ResumeAppendsThePartialContentAtTheOffset) {
    struct Case {
        const char* name;
        const char* existing;  // nullptr: no file yet
        std::string expected;
    };
    const Case cases[] = {
        {"existing file, longer than the offset", "abcdEXTRA-BYTES", "abcd456789"},
        {"no file yet", nullptr, std::string(4, '\0') + "456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(target.c_str());
        if (c.existing) WriteFileBytes(target, c.existing);
        CLoopbackHttpServer caseServer;
        ScriptedResponse whole = ScriptedResponse::Ok("0123456789");
        whole.honourRange = true;
        caseServer.Enqueue(whole);
        TestDownloader downloader;
        downloader.m_strURL = caseServer.Url("/file.bin");
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;
        downloader.m_nStartPos = 4;

        ASSERT_TRUE(downloader.Download());

        EXPECT_EQ(ReadFileBytes(target), c.expected);
        EXPECT_EQ(caseServer.Requests().at(0).Header("Range").value_or(""), "bytes=4-");
        EXPECT_EQ(downloader.lastTotal, 10u);  // offset plus the partial length
        EXPECT_EQ(downloader.progress.back(), 6u);
    }
}

TEST_F(HttpDownloaderTest, ResumeAnsweredWithTheWholeFileRestartsAtZero) {
    WriteFileBytes(target, "abcdEXTRA-BYTES");
    server.Enqueue(ScriptedResponse::Ok("0123456789"));  // ignores the range
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_nStartPos = 4;

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "0123456789");
    EXPECT_EQ(downloader.m_nStartPos, 0u);
    EXPECT_EQ(downloader.lastTotal, 10u);
}

// The body of a redirect is thrown away: read to keep its connection when short, given up with
// its connection when long, and the redirect followed either way.
TEST_F(HttpDownloaderTest, AThrownAwayBodyIsReadOnlyUpToItsBound) {
    for (const size_t bodySize : {size_t{5000}, size_t{1} << 20}) {
        SCOPED_TRACE(bodySize);
        CLoopbackHttpServer caseServer;
        ScriptedResponse moved = ScriptedResponse::Status(302, "Found").Header("Location", "/new");
        moved.body = Pattern(bodySize);
        caseServer.Route("/old", moved);
        caseServer.Route("/new", ScriptedResponse::Ok("moved body"));
        DebugLines caseLines;
        TestDownloader downloader;
        Prepare(downloader, "/old", caseServer);

        ASSERT_TRUE(downloader.Download());

        EXPECT_EQ(ReadFileBytes(target), "moved body");
        EXPECT_EQ(caseLines.CountStartingWith(L"CHttpDownloader::Transfer, stopped draining"),
                  bodySize > 65536 ? 1 : 0);
    }
}

TEST_F(HttpDownloaderTest, ServerCredentialsAnswerA401) {
    server.Enqueue(ScriptedResponse::Challenge(false));
    server.Enqueue(ScriptedResponse::Ok("secret body"));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_strUserName = L"user";
    downloader.m_strPassword = L"pa55";

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "secret body");
    EXPECT_EQ(downloader.prompts, 0);
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().Header("Authorization").value_or(""),
              httptest::BasicCredentials("user", "pa55"));
}

// What the user would type goes nowhere over plain HTTP: the 401 is the failed request it is.
TEST_F(HttpDownloaderTest, AServers401OverHttpFailsWithoutThePrompt) {
    server.Enqueue(ScriptedResponse::Challenge(false));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.prompt = [](TestDownloader&, DWORD&) { return TRUE; };

    EXPECT_FALSE(downloader.Download());

    EXPECT_EQ(downloader.prompts, 0);
    ASSERT_EQ(downloader.reports.size(), 1u);
    EXPECT_TRUE(downloader.reports[0].status);
    EXPECT_EQ(downloader.reports[0].code, 401u);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(FileExists(target));
}

TEST_F(HttpDownloaderTest, A407WithoutCredentialsAsksThePrompt) {
    struct Case {
        const char* name;
        std::function<BOOL(TestDownloader&, DWORD&)> prompt;  // nullptr: the base version
        BOOL result;
        size_t reports;
    };
    const Case cases[] = {
        // No prompt to answer is a cancelled one: a failure, reported.
        {"base prompt declines", nullptr, FALSE, 1},
        {"prompt refused with an error",
         [](TestDownloader&, DWORD& error) {
             error = ERROR_CANCELLED;
             return FALSE;
         },
         FALSE, 1},
        {"prompt asks to send again",
         [](TestDownloader& d, DWORD&) {
             d.m_strProxyUserName = L"late";
             d.m_strProxyPassword = L"comer";
             return d.DoProxyAuthentication();
         },
         TRUE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(target.c_str());
        CLoopbackHttpServer caseServer;
        caseServer.Enqueue(ScriptedResponse::Challenge(true, Pattern(5000)));
        caseServer.Enqueue(ScriptedResponse::Ok("body"));
        TestDownloader downloader;
        // Through the server as a named proxy; nothing listens at the origin's port.
        downloader.m_strURL =
            L"http://127.0.0.1:" + std::to_wstring(CLoopbackHttpServer::UnusedPort()) + L"/f.bin";
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 2;
        downloader.m_strProxyServer = caseServer.HostPort();
        downloader.prompt = c.prompt;

        EXPECT_EQ(downloader.Download(), c.result);

        EXPECT_EQ(downloader.prompts, 1);
        ASSERT_EQ(downloader.reports.size(), c.reports);
        if (c.reports == 1) {
            EXPECT_EQ(downloader.reports[0].format, L"Aborting transfer");
            EXPECT_EQ(downloader.reports[0].code, static_cast<DWORD>(ERROR_CANCELLED));
        }
        EXPECT_EQ(FileExists(target), c.result == TRUE);
    }
}

// An origin server answering 407 asks for nothing: the run does not prompt, sends no proxy
// credentials it holds, and fails with the status.
TEST_F(HttpDownloaderTest, A407FromTheOriginServerIsAFailedStatus) {
    struct Case {
        const char* name;
        int accessType;  // 0: the system's settings (no proxy here), 1: direct
        bool withCredentials;
    };
    for (const Case& c : {Case{"direct, with proxy credentials", 1, true},
                          Case{"direct, with the prompt", 1, false},
                          Case{"the system's settings, with the prompt", 0, false}}) {
        SCOPED_TRACE(c.name);
        DeleteFileW(target.c_str());
        CLoopbackHttpServer origin;
        origin.Enqueue(ScriptedResponse::Challenge(true, "no proxy here"));
        origin.Enqueue(ScriptedResponse::Ok("body"));
        TestDownloader downloader;
        Prepare(downloader, "/f.bin", origin);
        downloader.m_nAccessType = c.accessType;
        if (c.withCredentials) {
            downloader.m_strProxyUserName = L"proxyuser";
            downloader.m_strProxyPassword = L"proxypass";
        }
        downloader.prompt = [](TestDownloader& d, DWORD&) {
            d.m_strProxyUserName = L"typed";
            d.m_strProxyPassword = L"secret";
            return d.DoProxyAuthentication();
        };

        EXPECT_FALSE(downloader.Download());

        EXPECT_EQ(downloader.prompts, 0);
        EXPECT_EQ(downloader.m_dwStatus, 407u);
        ASSERT_EQ(downloader.reports.size(), 1u);
        EXPECT_TRUE(downloader.reports[0].status);
        EXPECT_EQ(downloader.reports[0].code, 407u);
        const auto requests = origin.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_FALSE(requests[0].Header("Proxy-Authorization").has_value());
        EXPECT_FALSE(FileExists(target));
    }
}

TEST_F(HttpDownloaderTest, NamedProxyWithCredentialsAnswersA407) {
    server.Enqueue(ScriptedResponse::Challenge(true));
    server.Enqueue(ScriptedResponse::Ok("through the proxy"));
    TestDownloader downloader;
    // The origin is a loopback port where nothing listens: only the proxy can answer.
    const std::wstring origin =
        L"http://127.0.0.1:" + std::to_wstring(CLoopbackHttpServer::UnusedPort()) + L"/p/f.bin";
    downloader.m_strURL = origin;
    downloader.m_strFileName = target;
    downloader.m_nAccessType = 2;
    downloader.m_strProxyServer = server.HostPort();
    downloader.m_strProxyUserName = L"proxyuser";
    downloader.m_strProxyPassword = L"proxypass";

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "through the proxy");
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, std::string(origin.begin(), origin.end()));
    EXPECT_EQ(requests.back().Header("Proxy-Authorization").value_or(""),
              httptest::BasicCredentials("proxyuser", "proxypass"));
}

TEST_F(HttpDownloaderTest, EmptyFileNameDiscardsTheBody) {
    server.Enqueue(ScriptedResponse::Ok(Pattern(3000)));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_strFileName.clear();

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(downloader.progress.back(), 3000u);
    EXPECT_FALSE(FileExists(target));
}

// A HEAD answer carries a Content-Length but never a body: that is no broken transfer.
TEST_F(HttpDownloaderTest, HeadRequestWithAnnouncedLengthSucceedsWithoutBody) {
    server.Enqueue(ScriptedResponse::Ok("").AnnounceLength(5000));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_strVerb = L"HEAD";

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(server.Requests().at(0).method, "HEAD");
    EXPECT_TRUE(downloader.reports.empty());
    EXPECT_TRUE(FileExists(target));
    EXPECT_EQ(ReadFileBytes(target), "");
}

TEST_F(HttpDownloaderTest, RedirectIsFollowed) {
    server.Route("/old", ScriptedResponse::Status(302, "Found").Header("Location", "/new"));
    server.Route("/new", ScriptedResponse::Ok("moved body"));
    TestDownloader downloader;
    Prepare(downloader, "/old");

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), "moved body");
}

// Each redirect is judged with the server rule before anything is sent to its target.
TEST_F(HttpDownloaderTest, RedirectsOutsideTheServerRuleAreRefusedAndBounded) {
    const std::string port = std::to_string(server.Port());
    const struct {
        const char* name;
        std::string location;
        size_t requests;
    } cases[] = {
        {"another loopback host", "http://127.0.0.2:" + port + "/new", 1},
        {"a host outside the domains", "http://host.invalid/new", 1},
        {"a host that only starts like an allowed one", "http://127.0.0.1.invalid/new", 1},
        {"another scheme", "ftp://127.0.0.1:" + port + "/new", 1},
        {"a redirect loop", "/old", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        caseServer.Route("/old",
                         ScriptedResponse::Status(302, "Found").Header("Location", c.location));
        caseServer.Route("/new", ScriptedResponse::Ok("moved body"));
        TestDownloader downloader;
        Prepare(downloader, "/old", caseServer);
        downloader.m_redirectRule = kLoopbackDomains;

        EXPECT_FALSE(downloader.Download());

        EXPECT_EQ(caseServer.Requests().size(), c.requests);
        ASSERT_EQ(downloader.reports.size(), 1u);
        EXPECT_TRUE(downloader.reports[0].status);
        EXPECT_EQ(downloader.reports[0].code, 302u);
        EXPECT_FALSE(FileExists(target));
    }
}

// The request's rule decides where a redirect may lead; without one, only the host that
// answered.
TEST_F(HttpDownloaderTest, TheRedirectRuleNamesTheDomainsARedirectMayReach) {
    const struct {
        const char* name;
        RedirectRule rule;
        bool followed;
    } cases[] = {
        {"in the rule's domains", kLoopbackDomains, true},
        {"no rule", RedirectRule{}, false},
        {"a rule of other domains", RedirectRule{L"pelko.example.com", L"", false}, false},
        {"a rule that requires https", RedirectRule{L"127.0.0.1", L"localhost", true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackHttpServer caseServer;
        caseServer.Route(
            "/old", ScriptedResponse::Status(302, "Found")
                        .Header("Location",
                                "http://localhost:" + std::to_string(caseServer.Port()) + "/new"));
        caseServer.Route("/new", ScriptedResponse::Ok("moved body"));
        DeleteFileW(target.c_str());  // the file of a case before
        TestDownloader downloader;
        Prepare(downloader, "/old", caseServer);
        downloader.m_redirectRule = c.rule;

        EXPECT_EQ(downloader.Download(), c.followed ? TRUE : FALSE);

        EXPECT_EQ(caseServer.Requests().size(), c.followed ? 2u : 1u);
        EXPECT_EQ(FileExists(target), c.followed);
    }
}

// A body up to the bound is whole; one beyond it is cut off at the bound and its file goes,
// even a file that was there before.
TEST_F(HttpDownloaderTest, ABodyBeyondItsBoundLeavesNoFile) {
    const struct {
        ULONGLONG bound;
        bool announced;
        bool downloaded;
    } cases[] = {
        {3000, true, true}, {3000, false, true}, {2999, true, false}, {2999, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bound << (c.announced ? " announced" : ""));
        CLoopbackHttpServer caseServer;
        ScriptedResponse response = ScriptedResponse::Ok(Pattern(3000));
        if (!c.announced) response.WithoutContentLength();
        caseServer.Enqueue(response);
        WriteFileBytes(target, "installed before");
        TestDownloader downloader;
        downloader.m_strURL = caseServer.Url("/file.bin");
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;
        downloader.m_nMaxBodyBytes = c.bound;

        EXPECT_EQ(downloader.Download(), c.downloaded ? TRUE : FALSE);

        EXPECT_EQ(FileExists(target), c.downloaded);
        if (c.downloaded) {
            EXPECT_EQ(ReadFileBytes(target), Pattern(3000));
        }
    }
}

TEST_F(HttpDownloaderTest, RequestCarriesVerbVersionReferrerAndAcceptTypes) {
    server.Enqueue(ScriptedResponse::Ok("x"));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin?v=2");
    downloader.m_strAcceptTypes = L"text/html;application/zip";
    downloader.m_strReferrer = L"http://127.0.0.1/page";
    downloader.m_strUserAgent = L"PelkoAgent";
    downloader.m_strHttpVersion = L"HTTP/1.0";
    downloader.m_strVerb = L"POST";

    ASSERT_TRUE(downloader.Download());

    const auto request = server.Requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/file.bin?v=2");
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(request.Header("Referer").value_or(""), "http://127.0.0.1/page");
    EXPECT_EQ(request.Header("User-Agent").value_or(""), "PelkoAgent");
    const std::string accept = request.Header("Accept").value_or("");
    EXPECT_NE(accept.find("text/html"), std::string::npos) << accept;
    EXPECT_NE(accept.find("application/zip"), std::string::npos) << accept;
}

TEST_F(HttpDownloaderTest, BandwidthCapStillDeliversEveryByte) {
    const std::string body = Pattern(8000);
    server.Enqueue(ScriptedResponse::Ok(body));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_dMaxBytesPerMs = 40.0;
    downloader.m_nBufferSize = 4000;

    ASSERT_TRUE(downloader.Download());

    EXPECT_EQ(ReadFileBytes(target), body);
    // Reads of at most the 4000-byte buffer, then the final empty one.
    EXPECT_GE(downloader.progress.size(), 3u);
    EXPECT_EQ(downloader.progress.back(), 8000u);
}

TEST_F(HttpDownloaderTest, ZeroBufferSizeFailsInsteadOfReportingAnEmptySuccess) {
    server.Enqueue(ScriptedResponse::Ok("data"));
    TestDownloader downloader;
    Prepare(downloader, "/file.bin");
    downloader.m_nBufferSize = 0;

    EXPECT_FALSE(downloader.Download());

    ASSERT_EQ(downloader.reports.size(), 1u);
    EXPECT_EQ(downloader.reports[0].code, static_cast<DWORD>(ERROR_OUTOFMEMORY));
    EXPECT_EQ(lines.CountStartingWith(CHttpDownloader::FormatText(
                  L"An error occurred while attempting to download the file, Error:%s",
                  CHttpDownloader::GetWinInetErrorText(ERROR_OUTOFMEMORY).c_str())),
              1);
    EXPECT_FALSE(FileExists(target));
}

TEST(HttpDownloaderText, ErrorTextComesFromWinInetOrTheSystem) {
    const std::wstring wininet =
        CHttpDownloader::GetWinInetErrorText(ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_FALSE(wininet.empty());
    const std::wstring system = CHttpDownloader::GetWinInetErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(system.empty());
    EXPECT_EQ(system.back(), L'\n');
    EXPECT_EQ(CHttpDownloader::GetWinInetErrorText(0x2000FFFF), L"");
}

TEST(HttpDownloaderText, FormatTextFillsTheOneArgument) {
    EXPECT_EQ(CHttpDownloader::FormatText(L"Code:%s", L"404"), L"Code:404");
    EXPECT_EQ(CHttpDownloader::FormatText(L"Aborting transfer", L"ignored"), L"Aborting transfer");
    EXPECT_EQ(CHttpDownloader::FormatText(L"100%% %s", L"done"), L"100% done");
}

TEST(HttpDownloaderText, OpenRequestFlagsFollowTheScheme) {
    const struct {
        const wchar_t* url;
        BOOL noRedirect;
        DWORD flags;
    } cases[] = {
        // Redirects are never followed by WinINet itself: Transfer judges and follows them.
        {L"http://127.0.0.1/a", FALSE, 0x84600000},
        {L"https://127.0.0.1/a", FALSE, 0x84E00000},
        {L"https://127.0.0.1/a", TRUE, 0x84E00000},
    };
    for (const auto& c : cases) {
        struct Probe : CHttpDownloader {
            BOOL Split() { return SplitURL(); }
        } probe;
        probe.m_strURL = c.url;
        probe.m_bNoAutoRedirect = c.noRedirect;
        ASSERT_TRUE(probe.Split());
        EXPECT_EQ(probe.GetOpenRequestFlags(), c.flags) << c.url;
    }
}

}  // namespace
