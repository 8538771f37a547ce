// A whole update run through the engine, phase by phase, beside a bare WinINet loop fetching
// the same packages in one session, under Wine over loopback:
//   300 small files and one of 64 MiB; 1,000 small files.
// The installation is also taken apart: extracting a package into its staged file, and the
// commit (journal, renames, journal removed), each per small file.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchTimer.h"
#include "framework/PathText.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CInstallCommit.h"
#include "update/CInstallLite.h"
#include "update/CUpdateManagerLite.h"
#include "update/UpdateWorkPaths.h"

namespace {

constexpr size_t kSmallBytes = 2048;
constexpr uint64_t kBigBytes = 64ull << 20;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Signals the end of the download phase.
class DownloadWatch : public CRudovuZadoNotify {
public:
    DownloadWatch() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~DownloadWatch() override { CloseHandle(ended); }
    void OnUpdateComplete() override { SetEvent(ended); }
    void OnUpdateError(const wchar_t*) override { SetEvent(ended); }
    void OnUpdateStopped() override { SetEvent(ended); }

    HANDLE ended;
};

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

// A bare loop: one session and connection, GET, read all, for each path; with a folder, each
// body is also written to a file of its own there, as any downloader must.
void BareLoop(const updatetree::CUpdateTreeServer& server, const std::vector<std::string>& paths,
              const std::wstring& folder = std::wstring()) {
    const HINTERNET session =
        InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const HINTERNET connection = InternetConnectW(session, L"127.0.0.1", server.Port(), nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    std::vector<char> buffer(65536);
    int index = 0;
    for (const std::string& path : paths) {
        const std::wstring object = L"/Patch" + std::wstring(path.begin(), path.end());
        const HANDLE file =
            folder.empty() ? INVALID_HANDLE_VALUE
                           : CreateFileW((folder + std::to_wstring(index++)).c_str(), GENERIC_WRITE,
                                         0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const HINTERNET request = HttpOpenRequestW(
            connection, L"GET", object.c_str(), nullptr, nullptr, nullptr,
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION, 0);
        if (HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
            DWORD read = 0;
            while (InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    &read) &&
                   read > 0) {
                DWORD written = 0;
                if (file != INVALID_HANDLE_VALUE)
                    WriteFile(file, buffer.data(), read, &written, nullptr);
            }
        }
        InternetCloseHandle(request);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
}

struct RequestPace {
    double median = 0;
    double mean = 0;
};

// Seconds from one small package's request to the next as the server saw them arrive, over the
// GET requests [from, to): the same yardstick for the engine and the bare loop.
RequestPace PaceAtServer(const updatetree::CUpdateTreeServer& server, size_t from, size_t to) {
    const std::vector<std::string> paths = server.Requests();
    const auto times = server.RequestTimes();
    auto small = [&](size_t i) { return paths[i].rfind("/RudovuZado/File", 0) == 0; };
    std::vector<double> gaps;
    for (size_t i = from + 1; i < std::min(to, paths.size()); ++i)
        if (small(i - 1) && small(i))
            gaps.push_back(std::chrono::duration<double>(times[i] - times[i - 1]).count());
    RequestPace pace;
    if (gaps.empty()) return pace;
    double sum = 0;
    for (double gap : gaps) sum += gap;
    pace.mean = sum / static_cast<double>(gaps.size());
    pace.median = Median(gaps);
    return pace;
}

void EmptyTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyTree(path);
            RemoveDirectoryW(path.c_str());
        } else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
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

void RunScenario(const std::wstring& root, int smallFiles, bool withBig) {
    std::printf("%d small files of %zu bytes%s:\n", smallFiles, kSmallBytes,
                withBig ? " and one of 64 MiB" : "");
    const std::wstring install = root + L"install\\";
    CreateDirectoryW(install.c_str(), nullptr);
    updatetree::CUpdateTree tree(root + L"tree");
    std::string manifest;
    std::vector<std::string> paths;
    const SYSTEMTIME stored = updatetree::LocalTime(2024, 3, 1, 10, 0, 4);
    for (int i = 0; i < smallFiles; ++i) {
        tree.AddPackage(Name(i), SmallData(i), stored);
        manifest += "[" + Name(i) + "]\n";
        paths.push_back("/RudovuZado/" + Name(i) + ".zip");
    }
    if (withBig) {
        tree.AddPackage("Big.bin", std::string(kBigBytes, 'b'), stored);
        manifest += "[Big.bin]\n";
    }
    tree.PublishManifest(manifest);
    updatetree::CUpdateTreeServer server(tree.Root(), "/Patch", std::chrono::minutes(20));

    const BenchTimer whole;
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->UseDirectConnection();
    const BenchTimer check;
    const int pending = manager->CheckForUpdates();
    const double checkSeconds = check.Seconds();
    DownloadWatch download;
    const BenchTimer downloadTimer;
    if (manager->StartDownload(&download, false) != 1) {
        std::printf("  nothing to fetch\n");
        return;
    }
    WaitForSingleObject(download.ended, INFINITE);
    const double downloadSeconds = downloadTimer.Seconds();
    InstallWatch installed;
    const BenchTimer installTimer;
    manager->StartInstall(&installed);
    WaitForSingleObject(installed.ended, INFINITE);
    const double installSeconds = installTimer.Seconds();
    manager.reset();
    const double wholeSeconds = whole.Seconds();

    const size_t engineRequests = server.Requests().size();
    BareLoop(server, paths);
    const size_t bareRequests = server.Requests().size();
    const std::wstring bodies = root + L"bare-bodies\\";
    CreateDirectoryW(bodies.c_str(), nullptr);
    BareLoop(server, paths, bodies);
    EmptyTree(root + L"bare-bodies");
    RemoveDirectoryW(bodies.c_str());
    const RequestPace engine = PaceAtServer(server, 0, engineRequests);
    const RequestPace bare = PaceAtServer(server, engineRequests, bareRequests);
    const RequestPace bareToFiles = PaceAtServer(server, bareRequests, server.Requests().size());
    std::printf(
        "  whole run %.2f s (%d packages): check %.3f s, download %.2f s, install %.2f s "
        "(%.2f ms per file)\n",
        wholeSeconds, pending, checkSeconds, downloadSeconds, installSeconds,
        installSeconds * 1000 / pending);
    std::printf(
        "  small package request, median (mean) at the server: engine %.2f ms (%.2f), bare "
        "WinINet loop %.2f ms (%.2f): %.2fx (%.2fx); bare loop writing files %.2f ms (%.2f)\n",
        engine.median * 1000, engine.mean * 1000, bare.median * 1000, bare.mean * 1000,
        bare.median > 0 ? engine.median / bare.median : 0,
        bare.mean > 0 ? engine.mean / bare.mean : 0, bareToFiles.median * 1000,
        bareToFiles.mean * 1000);

    const std::unique_ptr<IUpdateManagerLite> again(CreateUpdateManagerLite(server.Url(), install));
    again->UseDirectConnection();
    const size_t before = server.Requests().size();
    const BenchTimer recheck;
    const int left = again->CheckForUpdates();
    std::printf("  run with nothing to fetch: %d pending, %zu request(s), %.3f s\n", left,
                server.Requests().size() - before, recheck.Seconds());
    InstallParts(root, smallFiles);
    EmptyTree(root + L"install");
    RemoveDirectoryW(install.c_str());
    EmptyTree(root + L"tree");
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"pelko-run-bench\\";
    EmptyTree(root.substr(0, root.size() - 1));  // what an interrupted bench left
    CreateDirectoryW(root.c_str(), nullptr);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    RunScenario(root, quick ? 30 : 300, !quick);
    if (!quick) RunScenario(root, 1000, false);
    EmptyTree(root.substr(0, root.size() - 1));
    RemoveDirectoryW(root.c_str());
    return 0;
}
