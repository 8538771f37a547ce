// What judging installed files by content costs a launch, under Wine over loopback: a signed
// check of 10,000 unchanged entries that the install record knows, against the same tree judged
// by file times (the rule of an engine without keys, one look at each file's time); then the
// first signed check without a record, which hashes every file once, on the same small files
// and on 256 MiB of larger ones (MB/s).
//   content_check_bench [--rounds N] [--small N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchTimer.h"
#include "support/common/TestFolder.h"
#include "support/updatetree/CTreeSigner.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CUpdateManagerLite.h"
#include "framework/win32/DebugOutput.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"

namespace {

const char kDate[] = "2024-03-01 10:00";

std::string Name(size_t i) {
    char name[32];
    std::snprintf(name, sizeof(name), "File%05u.bin", static_cast<unsigned>(i));
    return name;
}

// Distinct bytes for every file: no two share a digest.
std::string Bytes(size_t i, size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = static_cast<uint32_t>(i) * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

void WriteStamped(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    // As the component stamps what it installs: the release's date.
    SYSTEMTIME local{2024, 3, 5, 1, 10, 0, 0, 0}, utc;
    FILETIME time;
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    SystemTimeToFileTime(&utc, &time);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// The install folder holds count files of size bytes, as the signed manifest names them, a
// hundred to a folder (Wine looks a name up by reading its folder).
void Lay(updatetree::CUpdateTree& tree, const std::wstring& install, size_t count, size_t size) {
    std::string manifest;
    for (size_t i = 0; i < count; ++i) {
        const std::string bytes = Bytes(i, size);
        const std::string name = Name(i);
        const std::string folder = "d" + std::to_string(i / 100);
        const std::wstring wideFolder = install + std::wstring(folder.begin(), folder.end());
        CreateDirectoryW(wideFolder.c_str(), nullptr);
        WriteStamped(wideFolder + L"\\" + std::wstring(name.begin(), name.end()), bytes);
        // Lines end as the publisher ends them.
        manifest += "[" + name + "]\r\nTargetDir=" + folder + "\r\nModifyDate=" + kDate +
                    "\r\nFileSize=" + std::to_string(size) + "\r\nSha256=" +
                    ToHex(CSha256::Of(bytes.data(), bytes.size())) +
                    "\r\nCheckDate=1\r\nType=Common\r\n";
    }
    tree.PublishManifest(manifest);
}

// One check's seconds; its count must be 0 (nothing to fetch).
double Check(const std::wstring& url, const std::wstring& install, std::vector<PublicKey> keys) {
    CUpdateManagerLite engine(url, install, std::move(keys));
    engine.UseDirectConnection();
    engine.AddTypeFilter(L"Common");
    const BenchTimer timer;
    const int pending = engine.CheckForUpdates();
    const double seconds = timer.Seconds();
    if (pending != 0) std::fprintf(stderr, "check found %d to fetch\n", pending);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring RecordOf(const std::wstring& install) {
    return UpdateWorkPaths::InstallRecordFile(UpdateWorkPaths::WorkFolder(install));
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    size_t small = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--small") small = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::vector<PublicKey> keys{updatetree::CTreeSigner::TestKey().Public()};
    // The check's own lines: its summary (from the manifest's request to the plan), or why it
    // did not run.
    DebugOutput::SetObserver([](const std::wstring& line) {
        if (line.find(L"CheckForUpdates") != std::wstring::npos)
            std::fwprintf(stderr, L"%ls", line.c_str());
    });

    testsupport::TestFolder treeFolder, install;
    updatetree::CUpdateTree tree(treeFolder.Path());
    updatetree::CUpdateTreeServer server(treeFolder.Path());
    Lay(tree, install.Path(), small, 1024);

    DeleteFileW(RecordOf(install.Path()).c_str());
    const double first = Check(server.Url(), install.Path(), keys);
    std::vector<double> recorded, byTime;
    for (int round = 0; round < rounds; ++round) {
        recorded.push_back(Check(server.Url(), install.Path(), keys));
        byTime.push_back(Check(server.Url(), install.Path(), {}));
    }
    std::printf("%zu unchanged entries of 1 KiB: signed check with the record %.3f s, by file "
                "times %.3f s (x%.2f); first signed check without a record %.3f s\n",
                small, Median(recorded), Median(byTime), Median(recorded) / Median(byTime),
                first);

    // Larger files: what hashing once costs per byte.
    testsupport::TestFolder bigTree, bigInstall;
    updatetree::CUpdateTree big(bigTree.Path());
    updatetree::CUpdateTreeServer bigServer(bigTree.Path());
    constexpr size_t kBigFiles = 64;
    constexpr size_t kBigBytes = 4u << 20;
    Lay(big, bigInstall.Path(), kBigFiles, kBigBytes);
    std::vector<double> firsts;
    for (int round = 0; round < rounds; ++round) {
        DeleteFileW(RecordOf(bigInstall.Path()).c_str());
        firsts.push_back(Check(bigServer.Url(), bigInstall.Path(), keys));
    }
    const double megabytes = static_cast<double>(kBigFiles * kBigBytes) / (1 << 20);
    std::printf("first signed check without a record, %zu files of 4 MiB: %.3f s, %.0f MB/s\n",
                kBigFiles, Median(firsts), megabytes / Median(firsts));
    return 0;
}
