// Loopback throughput of one component download with the default 1024-byte reads against
// 64 KiB reads, from the same scripted server.
#include <windows.h>

#include <cstdio>
#include <string>

#include "download/CDownloadComponent.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

constexpr size_t kBodyBytes = 64u << 20;

class CountingCallback : public IDownloadCallback {
public:
    void OnProgress(const wchar_t*, int, int, int, int, const wchar_t*, const wchar_t*) override {
        ++reports;
    }
    void OnComplete() override {}
    void OnError(const wchar_t* text) override { std::fwprintf(stderr, L"error: %ls\n", text); }
    bool IsStopped() override { return false; }
    void OnStopped() override {}
    void Stop() override {}
    DownloadList* GetComponents() override { return nullptr; }

    long reports = 0;
};

// Processor seconds of this process so far (the server's included): on a loaded machine a
// steadier figure than the elapsed time.
double ProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Seconds for one download of the body with reads of bufferSize bytes.
double TimeOneDownload(httptest::CLoopbackHttpServer& server, const std::wstring& folder,
                       int bufferSize, long& reports, double& processor) {
    DownloadComponentInfo info;
    info.strURL = server.Url("/bench.bin");
    info.strLocalFolder = folder;
    info.strDisplayName = L"bench.bin";
    info.nAccessType = 1;
    info.nBufferSize = bufferSize;
    CountingCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const double processorBefore = ProcessorSeconds();
    QueryPerformanceCounter(&start);
    component.Start(TRUE);
    QueryPerformanceCounter(&end);
    processor = ProcessorSeconds() - processorBefore;
    reports = callback.reports;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW((folder + L"\\bench.bin").c_str(), GetFileExInfoStandard, &data);
    if (data.nFileSizeLow != kBodyBytes || !component.GetErrorText().empty())
        std::fwprintf(stderr, L"download of %d-byte reads is incomplete\n", bufferSize);
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

// Seconds for the bare downloader with 1024-byte reads and no progress hooks: how much of
// the component's time is WinINet's own cost per read.
double TimeBareDownloader(httptest::CLoopbackHttpServer& server, const std::wstring& folder) {
    CHttpDownloader downloader;
    downloader.m_strURL = server.Url("/bench.bin");
    downloader.m_strFileName = folder + L"\\bare.bin";
    downloader.m_nAccessType = 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const BOOL ok = downloader.Download();
    QueryPerformanceCounter(&end);
    if (!ok) std::fwprintf(stderr, L"bare download failed\n");
    DeleteFileW(downloader.m_strFileName.c_str());
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"pelko-download-bench";
    CreateDirectoryW(folder.c_str(), nullptr);

    httptest::CLoopbackHttpServer server(std::chrono::minutes(10));
    std::string body(kBodyBytes, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 + (i >> 12));
    server.Route("/bench.bin", httptest::ScriptedResponse::Ok(std::move(body)));

    const double megabytes = static_cast<double>(kBodyBytes) / (1 << 20);
    double rates[2];
    const int sizes[2] = {1024, 65536};
    for (int i = 0; i < 2; ++i) {
        long reports = 0;
        double processor = 0;
        const double seconds = TimeOneDownload(server, folder, sizes[i], reports, processor);
        rates[i] = megabytes / seconds;
        std::printf(
            "%6d-byte reads: %.1f MiB in %.2f s = %.1f MiB/s (%ld progress reports), %.2f "
            "processor s = %.1f MiB per processor s\n",
            sizes[i], megabytes, seconds, rates[i], reports, processor, megabytes / processor);
    }
    std::printf("64 KiB reads are %.2f times as fast as 1024-byte reads\n", rates[1] / rates[0]);
    const double bare = TimeBareDownloader(server, folder);
    std::printf("  1024-byte reads, bare CHttpDownloader without progress: %.1f MiB/s\n",
                megabytes / bare);

    DeleteFileW((folder + L"\\bench.bin").c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
