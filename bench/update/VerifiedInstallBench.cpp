// Installing one package of 64 MiB with verification (size and SHA-256 computed while the file
// is written beside its target, then moved over it) against the same installation without it,
// side by side in one run: a stored package of incompressible bytes (nothing hides the
// hashing's cost) and a deflated one of compressible bytes (as the publisher makes them).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/updatetree/CTreeSigner.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CUpdateManagerLite.h"
#include "verify/CReleaseSerial.h"

namespace {

constexpr size_t kFileBytes = 64u << 20;
constexpr int kRounds = 5;

double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Incompressible(size_t size) {
    std::string data(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    return data;
}

// Bytes a program file might hold: runs of a few patterns mixed with noise.
std::string Compressible(size_t size) {
    std::string data = Incompressible(size);
    for (size_t i = 0; i < size; ++i)
        if ((i / 64) % 4 != 0) data[i] = static_cast<char>("MZ\x90\0PE\0\0.text\0"[i % 13]);
    return data;
}

// Seconds of the installation alone: the check has queued the file, the package lies where
// the download would have put it.
double TimeInstall(const updatetree::CUpdateTreeServer& server, const std::wstring& install,
                   const std::wstring& package, const std::vector<PublicKey>& keys) {
    const std::wstring target = install + L"Big.bin";
    DeleteFileW(target.c_str());
    CUpdateManagerLite manager(server.Url(), install, keys);
    manager.UseDirectConnection();
    if (manager.CheckForUpdates() != 1) std::fprintf(stderr, "the check found nothing\n");
    CopyFileW(package.c_str(), (target + L".zip").c_str(), FALSE);
    const double start = Now();
    manager.StartInstall(nullptr);
    const double seconds = Now() - start;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeLow != kFileBytes)
        std::fprintf(stderr, "the file was not installed\n");
    return seconds;
}

void Compare(const std::wstring& root, const char* what, const std::string& data, bool deflated,
             const std::vector<PublicKey>& keys) {
    const std::wstring install = root + L"install\\";
    CreateDirectoryW(install.c_str(), nullptr);
    updatetree::CUpdateTree tree(root + (deflated ? L"deflated" : L"stored"));
    tree.AddPackage("Big.bin", data, updatetree::LocalTime(2024, 3, 1, 10, 0), "", deflated);
    tree.PublishManifest("[Big.bin]\r\nType=Common\r\n");
    updatetree::CUpdateTreeServer server(tree.Root());
    const std::wstring package = tree.PackagePath("Big.bin");

    const double mib = static_cast<double>(kFileBytes) / (1 << 20);
    double bestPlain = 1e9, bestVerified = 1e9;
    for (int round = 1; round <= kRounds; ++round) {
        // Alternating the order cancels a drift of the machine's load.
        double plain = 0, verified = 0;
        if (round % 2) {
            plain = TimeInstall(server, install, package, {});
            verified = TimeInstall(server, install, package, keys);
        } else {
            verified = TimeInstall(server, install, package, keys);
            plain = TimeInstall(server, install, package, {});
        }
        bestPlain = std::min(bestPlain, plain);
        bestVerified = std::min(bestVerified, verified);
        std::printf(
            "%s, round %d: without verification %.3f s (%.0f MiB/s), verified %.3f s "
            "(%.0f MiB/s)\n",
            what, round, plain, mib / plain, verified, mib / verified);
    }
    std::printf("%s, best: without %.3f s, verified %.3f s: verification costs %+.1f %%\n", what,
                bestPlain, bestVerified, 100.0 * (bestVerified - bestPlain) / bestPlain);
    DeleteFileW((install + L"Big.bin").c_str());
    DeleteFileW((install + CReleaseSerial::fileName).c_str());
    RemoveDirectoryW(install.c_str());
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"pelko-verify-bench\\";
    CreateDirectoryW(root.c_str(), nullptr);
    const std::vector<PublicKey> keys{updatetree::CTreeSigner::TestKey().Public()};
    Compare(root, "stored, incompressible", Incompressible(kFileBytes), false, keys);
    Compare(root, "deflated, compressible", Compressible(kFileBytes), true, keys);
    return 0;
}
