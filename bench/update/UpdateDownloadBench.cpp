// The engine's download phase against the bare downloader, side by side in one run: one
// package of 64 MiB from the same loopback server, all with the engine's 64 KiB reads. The component
// download adds its progress figures and texts, the engine its event posting and coalescing;
// the bare downloader adds nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchTimer.h"
#include "download/CDownloadComponent.h"
#include "download/CHttpDownloader.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CUpdateManagerLite.h"

namespace {

// As the engine reads its packages.
constexpr DWORD kReadBytes = 65536;


constexpr uint64_t kPackageBytes = 64ull << 20;
constexpr int kRounds = 5;

// Counts the reports and signals the end of the phase.
class PhaseEnd : public CRudovuZadoNotify {
public:
    PhaseEnd() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~PhaseEnd() override { CloseHandle(ended); }
    void OnUpdateProgress(const wchar_t*, int, int, int, int, const wchar_t*,
                          const wchar_t*) override {
        ++reports;
    }
    void OnUpdateComplete() override { End(L"complete"); }
    void OnUpdateError(const wchar_t* message) override { End(message); }
    void OnUpdateStopped() override { End(L"stopped"); }
    void End(const std::wstring& how) {
        outcome = how;
        SetEvent(ended);
    }

    HANDLE ended;
    long reports = 0;
    std::wstring outcome;
};

double BareDownload(const updatetree::CUpdateTreeServer& server, const std::wstring& folder) {
    CHttpDownloader downloader;
    downloader.m_strURL = server.Url() + L"/RudovuZado/Big.bin.zip";
    downloader.m_strFileName = folder + L"bare.bin";
    downloader.m_nAccessType = 1;
    downloader.m_nBufferSize = kReadBytes;
    const BenchTimer timer;
    const BOOL ok = downloader.Download();
    const double seconds = timer.Seconds();
    if (!ok) std::fprintf(stderr, "bare download failed\n");
    DeleteFileW(downloader.m_strFileName.c_str());
    return seconds;
}

// A callback that takes every report and does nothing with it.
class IdleCallback : public IDownloadCallback {
public:
    void OnProgress(const wchar_t*, int, int, int, int, const wchar_t*, const wchar_t*) override {}
    void OnComplete() override {}
    void OnError(const wchar_t*) override {}
    bool IsStopped() override { return false; }
    void OnStopped() override {}
    void Stop() override {}
    DownloadList* GetComponents() override { return nullptr; }
};

// The component download alone, with its progress figures and texts but no engine: what the
// engine's event posting adds shows as the difference to EngineDownload.
double ComponentDownload(const updatetree::CUpdateTreeServer& server, const std::wstring& folder) {
    DownloadComponentInfo info;
    info.strURL = server.Url() + L"/RudovuZado/Big.bin.zip";
    info.strLocalFolder = folder;
    info.strLocalFileName = L"component.bin";
    info.strDisplayName = L"component.bin";
    info.nAccessType = 1;
    info.nBufferSize = kReadBytes;
    IdleCallback callback;
    CDownloadComponent component(&callback, &info, 1, 1);
    const BenchTimer timer;
    component.Start(TRUE);
    const double seconds = timer.Seconds();
    DeleteFileW((folder + L"component.bin").c_str());
    return seconds;
}

// Seconds from StartDownload to OnUpdateComplete; the manifest check is not timed.
double EngineDownload(const updatetree::CUpdateTreeServer& server, const std::wstring& folder,
                      long& reports) {
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), folder));
    manager->UseDirectConnection();
    if (manager->CheckForUpdates() != 1) std::fprintf(stderr, "manifest check failed\n");
    PhaseEnd notify;
    const BenchTimer timer;
    manager->StartDownload(&notify, false);
    WaitForSingleObject(notify.ended, INFINITE);
    const double seconds = timer.Seconds();
    if (notify.outcome != L"complete")
        std::fwprintf(stderr, L"engine: %ls\n", notify.outcome.c_str());
    reports = notify.reports;
    DeleteFileW((folder + L"Big.bin.zip").c_str());
    return seconds;
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"pelko-update-bench\\";
    const std::wstring install = root + L"install\\";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(install.c_str(), nullptr);
    updatetree::CUpdateTree tree(root + L"tree");
    tree.PublishManifest("[Big.bin]\n");
    updatetree::CUpdateTreeServer server(tree.Root(), "/Patch", std::chrono::minutes(10));
    server.AddGenerated("/RudovuZado/Big.bin.zip", kPackageBytes);

    const double mib = static_cast<double>(kPackageBytes) / (1 << 20);
    double bestBare = 1e9, bestComponent = 1e9, bestEngine = 1e9;
    std::vector<double> ratios;  // engine speed over bare speed, per round
    for (int round = 1; round <= kRounds; ++round) {
        // Alternating the order cancels a drift of the machine's load.
        long reports = 0;
        double bare = 0, component = 0, engine = 0;
        if (round % 2) {
            bare = BareDownload(server, install);
            component = ComponentDownload(server, install);
            engine = EngineDownload(server, install, reports);
        } else {
            engine = EngineDownload(server, install, reports);
            component = ComponentDownload(server, install);
            bare = BareDownload(server, install);
        }
        bestBare = std::min(bestBare, bare);
        bestComponent = std::min(bestComponent, component);
        bestEngine = std::min(bestEngine, engine);
        ratios.push_back(bare / engine);
        std::printf(
            "round %d: bare downloader %.1f MiB/s, component alone %.1f MiB/s, engine download "
            "phase %.1f MiB/s (%ld progress notifications)\n",
            round, mib / bare, mib / component, mib / engine, reports);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf(
        "64 KiB reads, %.0f MiB, %d rounds, best: bare %.1f, component %.1f, engine %.1f "
        "MiB/s; engine/bare best-to-best %.2f, median of the rounds %.2f\n",
        mib, kRounds, mib / bestBare, mib / bestComponent, mib / bestEngine, bestBare / bestEngine,
        ratios[ratios.size() / 2]);
    RemoveDirectoryW((root + L"tree\\RudovuZado").c_str());
    DeleteFileW((root + L"tree\\RudovuZado.ini.zip").c_str());
    RemoveDirectoryW((root + L"tree").c_str());
    RemoveDirectoryW(install.c_str());
    RemoveDirectoryW(root.c_str());
    return 0;
}
