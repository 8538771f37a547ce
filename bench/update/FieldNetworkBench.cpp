// The update engine against an impaired loopback server, under Wine: the packages phase of a
// release of N small packages and of one of 16 MiB with every head delayed, with a reset in the
// middle of every body, a stop during a delayed head, and an unchanged launch (304).
//   field_network_bench [--small N] [--delay-ms MS]
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchTimer.h"
#include "DownloadWatch.h"
#include "support/httpserver/CImpairmentServer.h"
#include "support/updatetree/CUpdateTree.h"
#include "update/IUpdateManagerLite.h"

namespace {

using httptest::CImpairmentServer;
using Impairment = CImpairmentServer::Impairment;

// When the download phase ended, and how.
void RemoveTree(const std::wstring& folder);

// An empty folder for a run to install into.
void EmptyFolder(const std::wstring& folder) {
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

void RemoveTree(const std::wstring& folder) {
    std::wstring from = folder + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

struct Release {
    std::wstring root;
    std::vector<std::string> paths;  // of the packages, below the prefix
    uint64_t bytes = 0;              // of the packages
};

Release Publish(const std::wstring& root, int smallFiles, uint64_t bigBytes) {
    Release release;
    release.root = root;
    updatetree::CUpdateTree tree(root);
    const SYSTEMTIME stored = updatetree::LocalTime(2024, 3, 1, 10, 0, 4);
    std::string manifest;
    const int count = bigBytes > 0 ? 1 : smallFiles;
    for (int i = 0; i < count; ++i) {
        const std::string name = bigBytes > 0 ? "Big.bin" : "S" + std::to_string(i) + ".txt";
        std::string data = bigBytes > 0 ? std::string(bigBytes, 'b') : std::string(2048, 's');
        if (bigBytes == 0) data += std::to_string(i);
        tree.AddPackage(name, data, stored);
        manifest += "[" + name + "]\n";
        release.paths.push_back("/RudovuZado/" + name + ".zip");
    }
    tree.PublishManifest(manifest);
    for (const std::string& path : release.paths) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const std::wstring file =
            root + L"RudovuZado\\" + std::wstring(path.begin() + 12, path.end());
        GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data);
        release.bytes += (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return release;
}

struct PhaseFigures {
    double seconds = 0;
    bool complete = false;
    uint64_t served = 0;  // body bytes of the packages
};

// The check, then the packages phase timed from its start to its end, into an empty folder.
PhaseFigures PackagesPhase(const Release& release, const std::wstring& install,
                           const std::vector<CImpairmentServer::Plan>& plans) {
    EmptyFolder(install);
    CImpairmentServer server(release.root, "/Patch", std::chrono::minutes(30));
    for (const std::string& path : release.paths)
        for (const auto& plan : plans) server.Impair(path, plan);
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->UseDirectConnection();
    PhaseFigures figures;
    if (manager->CheckForUpdates() <= 0) {
        std::fwprintf(stderr, L"check: %ls\n", manager->GetLastErrorText());
        return figures;
    }
    DownloadWatch watch;
    const BenchTimer timer;
    if (manager->StartDownload(&watch, false) != 1) return figures;
    WaitForSingleObject(watch.ended, INFINITE);
    figures.seconds = timer.Seconds();
    figures.complete = watch.complete;
    for (const std::string& path : release.paths) figures.served += server.BodyBytesSent(path);
    return figures;
}

void Delayed(const char* name, const Release& release, const std::wstring& install, int delayMs) {
    const PhaseFigures plain = PackagesPhase(release, install, {});
    const PhaseFigures slow =
        PackagesPhase(release, install, {{Impairment::DelayHead, -1, delayMs}});
    const double goal = 1.3 * (delayMs / 1000.0 + plain.seconds);
    std::printf(
        "  %-22s undelayed %.2f s, heads after %.1f s: %.2f s%s (%.2fx of delay + "
        "undelayed; goal 1.3x)\n",
        name, plain.seconds, delayMs / 1000.0, slow.seconds, slow.complete ? "" : " NOT COMPLETE",
        slow.seconds / (goal / 1.3));
}

void Reset(const char* name, const Release& release, const std::wstring& install) {
    const PhaseFigures run = PackagesPhase(release, install, {{Impairment::ResetMidway, 1}});
    std::printf(
        "  %-22s reset in every body: %s, %.2f s, served %.3fx of the release's %llu "
        "bytes (goal 1.1x)\n",
        name, run.complete ? "complete" : "NOT COMPLETE", run.seconds,
        double(run.served) / double(release.bytes), static_cast<unsigned long long>(release.bytes));
}

// A stop while every head is held: how long StopDownload and the manager's end take.
void Close(const Release& release, const std::wstring& install) {
    EmptyFolder(install);
    CImpairmentServer server(release.root, "/Patch", std::chrono::minutes(5));
    for (const std::string& path : release.paths)
        server.Impair(path, {Impairment::DelayHead, -1, 60000});
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->UseDirectConnection();
    if (manager->CheckForUpdates() <= 0) return;
    DownloadWatch watch;
    manager->StartDownload(&watch, false);
    Sleep(1000);
    const BenchTimer timer;
    manager->StopDownload();
    manager.reset();
    std::printf("  stop during held heads, stop and the manager's end: %.3f s (goal 1 s)\n",
                timer.Seconds());
    server.Stop();
}

// A launch after an install: the manifest asked for conditionally and answered 304.
void Unchanged(const Release& release, const std::wstring& install) {
    EmptyFolder(install);
    CImpairmentServer server(release.root, "/Patch", std::chrono::minutes(5));
    for (int launch = 1; launch <= 2; ++launch) {
        std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
        manager->UseDirectConnection();
        const size_t before = server.Requests().size();
        const uint64_t bytesBefore = server.BodyBytesSent();
        const BenchTimer timer;
        const int pending = manager->CheckForUpdates();
        if (launch == 1 && pending > 0) {
            DownloadWatch watch;
            manager->StartDownload(&watch, true);
            WaitForSingleObject(watch.ended, INFINITE);
            continue;
        }
        const auto requests = server.Requests();
        int notModified = 0;
        for (size_t i = before; i < requests.size(); ++i)
            if (requests[i].Header("If-None-Match") || requests[i].Header("If-Modified-Since"))
                ++notModified;
        std::printf(
            "  unchanged launch: %zu request(s), %d conditional, %llu body bytes, check "
            "%.3f s\n",
            requests.size() - before, notModified,
            static_cast<unsigned long long>(server.BodyBytesSent() - bytesBefore), timer.Seconds());
    }
}

}  // namespace

int main(int argc, char** argv) {
    int smallFiles = 300;
    int delayMs = 12000;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--small") smallFiles = std::clamp(std::atoi(argv[++i]), 1, 300);
        if (arg == "--delay-ms") delayMs = std::clamp(std::atoi(argv[++i]), 0, 60000);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"pelko-field-bench\\";
    RemoveTree(root.substr(0, root.size() - 1));
    CreateDirectoryW(root.c_str(), nullptr);
    const Release small = Publish(root + L"small\\", smallFiles, 0);
    const Release big = Publish(root + L"big\\", 0, 16ull << 20);
    const std::wstring install = root + L"install";
    const std::string smallName = std::to_string(smallFiles) + " small packages";
    std::printf("packages phase against an impaired loopback server:\n");
    Delayed("one of 16 MiB", big, install, delayMs);
    Delayed(smallName.c_str(), small, install, delayMs);
    Reset("one of 16 MiB", big, install);
    Reset(smallName.c_str(), small, install);
    Close(big, install);
    Unchanged(small, install);
    RemoveTree(root.substr(0, root.size() - 1));
    return 0;
}
