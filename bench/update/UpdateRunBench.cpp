// The update engine's packages phase beside a bare WinINet loop with 6 connections and 64 KiB
// reads, under Wine over loopback, on 300 small packages and one of 16 MiB, with the server
// answering at once and with 20 ms before each answer (a far server). Then a launch with
// nothing to fetch, one 64 MiB package's throughput, and the installation taken apart
// (extraction into staged files, commit), per small file.
//   update_run_bench [--rounds N] [--quick]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "BareWinInetLoop.h"
#include "BenchTimer.h"
#include "DownloadWatch.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CInstallCommit.h"
#include "update/CInstallLite.h"
#include "update/IUpdateManagerLite.h"
#include "update/UpdateWorkPaths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kSmallBytes = 2048;
constexpr int kBareConnections = 6;
const char kPackageFolder[] = "/RudovuZado/";

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// When the download phase ended, and how.
class InstallWatch : public CInstallLiteNotify {
public:
    InstallWatch() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~InstallWatch() override { CloseHandle(ended); }
    void OnInstallComplete() override { SetEvent(ended); }
    void OnInstallError(const wchar_t* text) override {
        std::fwprintf(stderr, L"install error: %ls\n", text);
        SetEvent(ended);
    }
    void OnInstallStopped() override { SetEvent(ended); }
    HANDLE ended;
};

std::string SmallData(int i) { return std::string(kSmallBytes, static_cast<char>('a' + i % 26)); }

std::string Name(int i) {
    char name[32];
    std::snprintf(name, sizeof(name), "File%04d.txt", i);
    return name;
}

void EmptyTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        SetFileAttributesW(path.c_str(), found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                                             ? FILE_ATTRIBUTE_DIRECTORY
                                             : FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyTree(path);
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void RemoveTree(const std::wstring& folder) {
    EmptyTree(folder);
    RemoveDirectoryW(folder.c_str());
}

// Every file and folder below a folder, and the folder itself, with what a write changes:
// size, last write time, attributes. A file made and removed again still changes its
// folder's last write time.
using Snapshot = std::map<std::wstring, std::wstring>;

std::wstring Facts(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return std::to_wstring(data.nFileSizeLow) + L"/" +
           std::to_wstring(data.ftLastWriteTime.dwLowDateTime) + L"/" +
           std::to_wstring(data.ftLastWriteTime.dwHighDateTime) + L"/" +
           std::to_wstring(data.dwFileAttributes);
}

void AddToSnapshot(const std::wstring& path, Snapshot& snapshot) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
    snapshot[path] = Facts(data);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") AddToSnapshot(path + L"\\" + name, snapshot);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

Snapshot TakeSnapshot(const std::wstring& folder) {
    Snapshot snapshot;
    AddToSnapshot(folder.substr(0, folder.size() - 1), snapshot);
    return snapshot;
}

// The paths whose facts differ, came or went.
std::vector<std::wstring> Changes(const Snapshot& before, const Snapshot& after) {
    std::vector<std::wstring> changed;
    for (const auto& [path, facts] : before) {
        const auto now = after.find(path);
        if (now == after.end() || now->second != facts) changed.push_back(path);
    }
    for (const auto& [path, facts] : after)
        if (!before.count(path)) changed.push_back(path);
    return changed;
}

// Arrival of the first package request (not the manifest's) from request `from` on.
Clock::time_point FirstPackageRequest(const updatetree::CUpdateTreeServer& server, size_t from) {
    const std::vector<std::string> paths = server.Requests();
    const auto times = server.RequestTimes();
    for (size_t i = from; i < paths.size(); ++i)
        if (paths[i].rfind(kPackageFolder, 0) == 0) return times[i];
    return Clock::now();
}

// How many connections carried the package requests from request `from` on. (WinINet may
// take a connection that an earlier session left open to the same server.)
int ConnectionsUsed(const updatetree::CUpdateTreeServer& server, size_t from) {
    const std::vector<std::string> paths = server.Requests();
    const std::vector<int> connections = server.RequestConnections();
    std::set<int> used;
    for (size_t i = from; i < paths.size(); ++i)
        if (paths[i].rfind(kPackageFolder, 0) == 0) used.insert(connections[i]);
    return static_cast<int>(used.size());
}

struct EngineFigures {
    int pending = 0;
    int connections = 0;  // that carried its package requests
    bool complete = false;
    double check = 0, packages = 0, install = 0;
};

// A whole run of a fresh engine into an empty install folder. The packages phase runs from the
// first package request's arrival at the server (in this process, on the same clock) to the
// engine's OnUpdateComplete: only then are all packages on disk, as the engine says.
EngineFigures RunEngine(const updatetree::CUpdateTreeServer& server, const std::wstring& install) {
    EngineFigures figures;
    const size_t before = server.Requests().size();
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->UseDirectConnection();
    const BenchTimer check;
    figures.pending = manager->CheckForUpdates();
    figures.check = check.Seconds();
    DownloadWatch download;
    if (figures.pending <= 0 || manager->StartDownload(&download, false) != 1) return figures;
    WaitForSingleObject(download.ended, INFINITE);
    figures.complete = download.complete;
    figures.packages = Seconds(FirstPackageRequest(server, before), download.at);
    figures.connections = ConnectionsUsed(server, before);
    InstallWatch installed;
    const BenchTimer installTimer;
    manager->StartInstall(&installed);
    WaitForSingleObject(installed.ended, INFINITE);
    figures.install = installTimer.Seconds();
    return figures;
}

// The bare loop over the same packages, from the first package request's arrival at the
// server to the last body written and its file closed.
struct BareFigures {
    double seconds = 0;
    int connections = 0;  // that carried its requests
};

BareFigures RunBare(const updatetree::CUpdateTreeServer& server,
                    const std::vector<std::wstring>& paths, const std::wstring& folder,
                    int connections) {
    CreateDirectoryW(folder.c_str(), nullptr);
    const size_t before = server.Requests().size();
    const int failures = FetchInParallel(server.Port(), paths, folder, connections);
    BareFigures figures;
    figures.seconds = Seconds(FirstPackageRequest(server, before), Clock::now());
    figures.connections = ConnectionsUsed(server, before);
    if (failures > 0) std::printf("  bare loop: %d request(s) failed\n", failures);
    RemoveTree(folder.substr(0, folder.size() - 1));
    return figures;
}

// A launch on an up-to-date install folder: its requests, and what changed in the folder.
void LaunchWithNothingToFetch(const updatetree::CUpdateTreeServer& server,
                              const std::wstring& install) {
    const Snapshot before = TakeSnapshot(install);
    const size_t requests = server.Requests().size();
    const BenchTimer timer;
    int pending = 0, started = 0;
    {
        const std::unique_ptr<IUpdateManagerLite> manager(
            CreateUpdateManagerLite(server.Url(), install));
        manager->UseDirectConnection();
        pending = manager->CheckForUpdates();
        DownloadWatch download;
        // As the patch window does: a download only when the check found something.
        if (pending > 0) started = manager->StartDownload(&download, false);
        if (started == 1) WaitForSingleObject(download.ended, INFINITE);
    }
    const double seconds = timer.Seconds();
    const std::vector<std::wstring> changed = Changes(before, TakeSnapshot(install));
    const std::vector<std::string> paths = server.Requests();
    std::string asked;
    for (size_t i = requests; i < paths.size(); ++i) asked += (asked.empty() ? "" : " ") + paths[i];
    std::printf(
        "  launch with nothing to fetch: %d pending, %zu request(s) (%s), %.3f s; %s\n", pending,
        paths.size() - requests, asked.c_str(), seconds,
        changed.empty() ? "nothing written in the install folder" : "the install folder changed:");
    for (const std::wstring& path : changed) std::printf("    %ls\n", path.c_str());
}

struct Range {
    double low = 1e300, high = 0;
    void Add(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

void PrintRange(const char* what, const Range& range, const char* unit) {
    std::printf("    %-34s %.2f-%.2f %s\n", what, range.low, range.high, unit);
}

struct RoundFigures {
    double engine = 0, bare = 0;
};

// The engine into an empty install folder, then the bare loop with the process's connection
// limit raised for it alone; the first round also launches again with nothing to fetch.
RoundFigures PackagesRound(const updatetree::CUpdateTreeServer& server,
                           const std::vector<std::wstring>& paths, const std::wstring& root,
                           bool first) {
    const std::wstring install = root + L"install\\";
    CreateDirectoryW(install.c_str(), nullptr);
    const EngineFigures run = RunEngine(server, install);
    BareFigures loop;
    {
        const ConnectionLimit limit(kBareConnections);
        if (first) std::printf("    WinINet connection limits: %s\n", limit.Describe().c_str());
        loop = RunBare(server, paths, root + L"bare\\", kBareConnections);
    }
    std::printf(
        "    engine (%d packages%s, %d connection(s)): check %.3f s, packages %.2f s, install "
        "%.2f s; bare loop (%d connections) %.2f s: %.2fx\n",
        run.pending, run.complete ? "" : ", NOT COMPLETE", run.connections, run.check, run.packages,
        run.install, loop.connections, loop.seconds, run.packages / loop.seconds);
    if (first) LaunchWithNothingToFetch(server, install);
    RemoveTree(root + L"install");
    return {run.packages, loop.seconds};
}

// The packages phase of the engine and of the bare loop, both answer delays, round by round;
// each round's ratio is of two runs next to each other.
void ComparePackagesPhase(const std::wstring& root, int smallFiles, uint64_t bigBytes, int rounds) {
    std::printf("%d packages of %zu bytes and one of %.0f MiB, bare loop with %d connections:\n",
                smallFiles, kSmallBytes, bigBytes / 1048576.0, kBareConnections);
    updatetree::CUpdateTree tree(root + L"tree");
    std::string manifest;
    std::vector<std::wstring> paths;
    const SYSTEMTIME stored = updatetree::LocalTime(2024, 3, 1, 10, 0, 4);
    for (int i = 0; i <= smallFiles; ++i) {
        const std::string name = i < smallFiles ? Name(i) : "Big.bin";
        tree.AddPackage(name, i < smallFiles ? SmallData(i) : std::string(bigBytes, 'b'), stored);
        manifest += "[" + name + "]\n";
        const std::string path = "/Patch/RudovuZado/" + name + ".zip";
        paths.emplace_back(path.begin(), path.end());
    }
    tree.PublishManifest(manifest);
    updatetree::CUpdateTreeServer server(tree.Root(), "/Patch", std::chrono::minutes(30));
    for (const int delayMs : {0, 20}) {
        server.SetAnswerDelay(std::chrono::milliseconds(delayMs));
        std::printf("  answers after %d ms:\n", delayMs);
        Range engine, bare, ratio;
        for (int round = 1; round <= rounds; ++round) {
            const RoundFigures figures = PackagesRound(server, paths, root, round == 1);
            engine.Add(figures.engine);
            bare.Add(figures.bare);
            ratio.Add(figures.engine / figures.bare);
        }
        PrintRange("engine packages phase", engine, "s");
        PrintRange("bare loop", bare, "s");
        std::printf("    %-34s %.2f-%.2fx (goal: within %.1fx)\n", "engine / bare loop", ratio.low,
                    ratio.high, delayMs == 0 ? 1.5 : 1.3);
    }
}

// One large package through the engine, and through one bare connection for reference.
void Throughput(const std::wstring& root, uint64_t bytes, int rounds) {
    const double mib = bytes / 1048576.0;
    std::printf("one package of %.0f MiB, answers at once:\n", mib);
    updatetree::CUpdateTree tree(root + L"tree-large");
    tree.AddPackage("Large.bin", std::string(bytes, 'l'),
                    updatetree::LocalTime(2024, 3, 1, 10, 0, 4));
    tree.PublishManifest("[Large.bin]\n");
    updatetree::CUpdateTreeServer server(tree.Root(), "/Patch", std::chrono::minutes(30));
    const std::wstring install = root + L"install\\";
    for (int round = 1; round <= rounds; ++round) {
        CreateDirectoryW(install.c_str(), nullptr);
        const EngineFigures run = RunEngine(server, install);
        RemoveTree(root + L"install");
        const double bare =
            RunBare(server, {L"/Patch/RudovuZado/Large.bin.zip"}, root + L"bare\\", 1).seconds;
        std::printf(
            "  round %d: engine %.2f s, %.0f MiB/s%s; bare loop, 1 connection: %.2f s, %.0f "
            "MiB/s\n",
            round, run.packages, mib / run.packages, run.complete ? "" : " NOT COMPLETE", bare,
            mib / bare);
    }
    RemoveTree(root + L"tree-large");
}

// Extracting every small package into a staged file, then committing them, timed apart.
void InstallParts(const std::wstring& root, int smallFiles) {
    const std::wstring packages = root + L"tree\\RudovuZado\\";
    const std::wstring staged = root + L"parts-staged\\";
    const std::wstring target = root + L"parts-target\\";
    CreateDirectoryW(staged.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    std::vector<JournalEntry> plan;
    const BenchTimer extract;
    for (int i = 0; i < smallFiles; ++i) {
        const std::string narrow = Name(i);
        const std::wstring name(narrow.begin(), narrow.end());
        const std::wstring file = staged + std::to_wstring(i);
        CInstallLite::ExtractPackageTo(packages + name + L".zip", file);
        plan.push_back({target + name, file, UpdateWorkPaths::AsidePath(target + name), false});
    }
    const double extractSeconds = extract.Seconds();
    const BenchTimer commitTimer;
    CInstallCommit commit(root + L"parts.journal");
    commit.Run(plan, nullptr);
    const double commitSeconds = commitTimer.Seconds();
    // The installation as it was: each package extracted beside its target (temporary file,
    // CRC check, rename), then deleted.
    const std::wstring beside = root + L"parts-beside\\";
    CreateDirectoryW(beside.c_str(), nullptr);
    for (int i = 0; i < smallFiles; ++i) {
        const std::string narrow = Name(i);
        const std::wstring name(narrow.begin(), narrow.end());
        CopyFileW((packages + name + L".zip").c_str(), (beside + name + L".zip").c_str(), FALSE);
    }
    const BenchTimer besideTimer;
    for (int i = 0; i < smallFiles; ++i) {
        const std::string narrow = Name(i);
        const std::wstring name(narrow.begin(), narrow.end());
        CInstallLite::ExtractPackage(beside + name + L".zip");
    }
    const double besideSeconds = besideTimer.Seconds();
    EmptyTree(root + L"parts-beside");
    RemoveDirectoryW(beside.c_str());
    std::printf(
        "  per small file: extract into staged file %.2f ms, commit %.2f ms; extracted beside "
        "the target and the package deleted, as before: %.2f ms\n",
        extractSeconds * 1000 / smallFiles, commitSeconds * 1000 / smallFiles,
        besideSeconds * 1000 / smallFiles);
    EmptyTree(root + L"parts-staged");
    EmptyTree(root + L"parts-target");
    RemoveDirectoryW(staged.c_str());
    RemoveDirectoryW(target.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int rounds = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") quick = true;
        if (arg == "--rounds" && i + 1 < argc) rounds = std::clamp(std::atoi(argv[++i]), 1, 20);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"pelko-run-bench\\";
    RemoveTree(root.substr(0, root.size() - 1));  // what an interrupted bench left
    CreateDirectoryW(root.c_str(), nullptr);
    const int smallFiles = quick ? 30 : 300;
    ComparePackagesPhase(root, smallFiles, (quick ? 2ull : 16ull) << 20, rounds);
    Throughput(root, (quick ? 8ull : 64ull) << 20, rounds);
    std::printf("installation of %d small packages, taken apart:\n", smallFiles);
    InstallParts(root, smallFiles);
    RemoveTree(root.substr(0, root.size() - 1));
    return 0;
}
