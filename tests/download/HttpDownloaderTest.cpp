#include "download/CHttpDownloader.h"

#include <gtest/gtest.h>

#include <functional>

#include "download/DownloadTestSupport.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using downloadtest::DebugLines;
using downloadtest::FileExists;
using downloadtest::Pattern;
using downloadtest::ReadFileBytes;
using downloadtest::TempFolder;
using downloadtest::WriteFileBytes;
using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;

const wchar_t kTextStatus[] =
    L"Failed to receive a valid HTTP response from the server, Response Code:%s";
const wchar_t kTextConnect[] = L"An error occurred connecting to the server, Error:%s";

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
    void OnTransferProgress(ULONGLONG bytesRead, BOOL gotLength, ULONGLONG total) override {
        progress.push_back(bytesRead);
        lastGotLength = gotLength;
        lastTotal = total;
    }

    std::vector<Report> reports;
    std::function<BOOL(TestDownloader&, DWORD&)> prompt;
    int prompts = 0;
    std::vector<ULONGLONG> progress;
    BOOL lastGotLength = FALSE;
    ULONGLONG lastTotal = 0;
};

class HttpDownloaderTest : public ::testing::Test {
protected:
    void Prepare(TestDownloader& downloader, const std::string& path) {
        downloader.m_strURL = server.Url(path);
        downloader.m_strFileName = target;
        downloader.m_nAccessType = 1;  // direct: no system proxy settings
    }

    CLoopbackHttpServer server;
    TempFolder folder;
    DebugLines lines;
    std::wstring target = folder.File(L"file.bin");
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
    EXPECT_EQ(requests[0].Header("Pragma").value_or(""), "no-cache");
    EXPECT_FALSE(requests[0].Header("Range"));
    EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "http_downloader_tests");
    // One report per 1024-byte block and one for the final empty read.
    ASSERT_EQ(downloader.progress.size(), 21u);
    EXPECT_EQ(downloader.progress.front(), 1024u);
    EXPECT_EQ(downloader.progress.back(), 20000u);
    EXPECT_TRUE(downloader.lastGotLength);
    EXPECT_EQ(downloader.lastTotal, 20000u);
    EXPECT_TRUE(lines.Has(L"Got a Content-Length header value of 20000\n"));
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Getting file information\n"));
    EXPECT_TRUE(lines.Has(L"CHttpDownloader::SetStatus, Retrieving the file\n"));
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

}  // namespace
