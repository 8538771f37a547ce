// The packages phase of a release where a 16 MiB file and a DLL changed by a small fix, fetched
// as deltas beside the same release without deltas, under Wine over loopback. Trees from
// make_delta_bench_trees.sh; each round installs tree1 into a fresh folder, then times the
// download phase of the next release and counts the body bytes the server sent.
//   delta_phase_bench <trees folder> [--rounds N]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchTimer.h"
#include "DownloadWatch.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/IUpdateManagerLite.h"

namespace {

struct Phase {
    bool complete = false;
    double seconds = 0;
    unsigned long long bytes = 0;
};

// A whole run; the download phase timed. The installation follows before the manager goes.
Phase Run(const std::wstring& tree, const std::wstring& install) {
    updatetree::CUpdateTreeServer server(tree, "/Patch");
    Phase phase;
    {
        std::unique_ptr<IUpdateManagerLite> manager(
            CreateUpdateManagerLite(server.Url(), install));
        manager->AddTypeFilter(L"Common");
        if (manager->CheckForUpdates() <= 0) return phase;
        const unsigned long long before = server.BodyBytesSent();
        DownloadWatch watch;
        const BenchTimer timer;
        if (manager->StartDownload(&watch, true) != 1) return phase;
        WaitForSingleObject(watch.ended, INFINITE);
        phase.seconds = timer.Seconds();
        phase.complete = watch.complete;
        phase.bytes = server.BodyBytesSent() - before;
    }
    return phase;
}

std::wstring FreshFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetTickCount64());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

void RemoveFolder(const std::wstring& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: delta_phase_bench <trees folder> [--rounds N]\n");
        return 2;
    }
    const std::wstring trees = std::wstring(argv[1]) + L"\\";
    int rounds = 3;
    if (argc >= 4 && std::wcscmp(argv[2], L"--rounds") == 0) rounds = _wtoi(argv[3]);
    for (const wchar_t* release : {L"tree2full", L"tree2delta"}) {
        for (int round = 0; round < rounds; ++round) {
            const std::wstring install = FreshFolder(L"delta_bench_");
            const Phase first = Run(trees + L"tree1", install);
            const Phase next = Run(trees + release, install);
            std::wprintf(L"%-10ls round %d: first release %.3f s %llu bytes; next release "
                         L"packages phase %.3f s, %llu bytes fetched%ls\n",
                         release, round + 1, first.seconds, first.bytes, next.seconds,
                         next.bytes, first.complete && next.complete ? L"" : L" (FAILED)");
            RemoveFolder(install);
        }
    }
    return 0;
}
