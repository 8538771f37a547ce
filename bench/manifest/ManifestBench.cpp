// The update check on manifests of 100, 1,000 and 10,000 entries whose files are all current:
// reading the manifest through the profile functions (seven calls per entry) against reading it
// once, alone and followed by the decision for every entry (target path, release time,
// NeedsUpdate), which is the check without fetching the manifest; then the real
// CheckForUpdates, fetching the signed manifest package from a loopback update tree, by an
// engine without keys and by one that verifies the release.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "support/updatetree/CTreeSigner.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CFileContent.h"
#include "update/CUpdateManagerLite.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"
#include "update/TargetPath.h"

namespace {

constexpr int kFolders = 10;
const wchar_t kModifyDate[] = L"2013-05-02 17:30";

std::wstring FileName(int index) {
    wchar_t name[32];
    std::swprintf(name, 32, L"File%05d.dll", index);
    return name;
}

std::wstring SubFolder(int index) { return L"bin\\d" + std::to_wstring(index % kFolders); }

// Files written now, so every entry with CheckDate=1 and an older ModifyDate is current.
bool CreateInstallFiles(const std::wstring& installFolder, int count) {
    CreateDirectoryW(installFolder.c_str(), nullptr);
    CreateDirectoryW((installFolder + L"bin").c_str(), nullptr);
    for (int i = 0; i < kFolders; ++i)
        CreateDirectoryW((installFolder + SubFolder(i)).c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::wstring path = installFolder + SubFolder(i) + L"\\" + FileName(i);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
    }
    return true;
}

std::string ManifestText(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char entry[256];
        std::snprintf(entry, sizeof entry,
                      "[File%05d.dll]\r\nFolderType=0\r\nTargetDir=bin\\d%d\r\nModifyDate=%ls\r\n"
                      "FileSize=%d\r\nSha256=%064d\r\nRegister=0\r\nCheckDate=1\r\n"
                      "Type=Common\r\n\r\n",
                      i, i % kFolders, kModifyDate, 1000 + i, i);
        text += entry;
    }
    return text;
}

bool WriteManifest(const std::wstring& path, int count) {
    const std::string text = ManifestText(count);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

// Out-of-date entries of the manifest; every file is current, so this must be 0.
int CountOutOfDate(const CFileContent& manifest, const std::wstring& installFolder) {
    const std::vector<std::wstring> typeFilter{L"Common"};
    int queued = 0;
    for (const ManifestEntry& entry : manifest.Entries()) {
        const std::wstring target =
            ResolveTargetPath(entry.folderType, entry.targetDir, entry.name, installFolder);
        if (NeedsUpdate(target, ReleaseTimeOf(entry.modifyDate), entry.registerDll, entry.checkDate,
                        entry.type, typeFilter))
            ++queued;
    }
    return queued;
}

struct Timing {
    double load = 0;
    double check = 0;
};

// Seconds to load, and to load and decide, the best of runs.
Timing TimeCheck(const std::wstring& manifest, const std::wstring& installFolder, int count,
                 bool throughProfile, int runs) {
    Timing best{1e9, 1e9};
    for (int run = 0; run < runs; ++run) {
        CFileContent content;
        const double start = Now();
        const bool loaded = throughProfile ? content.LoadThroughProfile(manifest.c_str())
                                           : content.Load(manifest.c_str());
        const double loadedAt = Now();
        const int queued = CountOutOfDate(content, installFolder);
        const double end = Now();
        if (!loaded || static_cast<int>(content.Entries().size()) != count || queued != 0)
            std::fprintf(stderr, "unexpected: %zu entries, %d out of date\n",
                         content.Entries().size(), queued);
        if (loadedAt - start < best.load) best.load = loadedAt - start;
        if (end - start < best.check) best.check = end - start;
    }
    return best;
}

// Seconds of CheckForUpdates against a loopback update tree publishing the signed manifest;
// its result must be 0 (nothing to fetch).
double TimeCheckForUpdates(const std::wstring& folder, int count,
                           const std::vector<PublicKey>& keys) {
    updatetree::CUpdateTree tree(folder + L"tree" + std::to_wstring(count) + L"\\");
    tree.PublishManifest(ManifestText(count));
    updatetree::CUpdateTreeServer server(tree.Root());
    const std::unique_ptr<IUpdateManagerLite> manager(
        new CUpdateManagerLite(server.Url(), folder, keys));
    manager->AddTypeFilter(L"Common");
    manager->UseDirectConnection();
    const double start = Now();
    const int pending = manager->CheckForUpdates();
    const double end = Now();
    if (pending != 0)
        std::fprintf(stderr, "CheckForUpdates gave %d (%ls)\n", pending,
                     manager->GetLastErrorText());
    DeleteFileW((tree.Root() + L"RudovuZado.ini.zip").c_str());
    RemoveDirectoryW((tree.Root() + L"RudovuZado").c_str());
    RemoveDirectoryW(tree.Root().c_str());
    return end - start;
}

void RemoveBenchFiles(const std::wstring& installFolder, int count) {
    for (int i = 0; i < count; ++i)
        DeleteFileW((installFolder + SubFolder(i) + L"\\" + FileName(i)).c_str());
    for (int i = 0; i < kFolders; ++i) RemoveDirectoryW((installFolder + SubFolder(i)).c_str());
    RemoveDirectoryW((installFolder + L"bin").c_str());
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"pelko-manifest-bench\\";
    const int counts[] = {100, 1000, 10000};
    if (!CreateInstallFiles(folder, 10000)) {
        std::fprintf(stderr, "cannot create the install files\n");
        return 1;
    }
    const std::vector<PublicKey> keys{updatetree::CTreeSigner::TestKey().Public()};
    std::printf("%8s %14s %14s %16s %16s %16s %16s\n", "entries", "profile load", "one-read load",
                "profile check", "one-read check", "CheckForUpdates", "verified check");
    for (const int count : counts) {
        const std::wstring manifest = folder + L"RudovuZado" + std::to_wstring(count) + L".ini";
        if (!WriteManifest(manifest, count)) {
            std::fprintf(stderr, "cannot write the manifest\n");
            return 1;
        }
        const Timing profile = TimeCheck(manifest, folder, count, true, 1);
        const Timing once = TimeCheck(manifest, folder, count, false, 3);
        const double checkForUpdates = TimeCheckForUpdates(folder, count, {});
        const double verifiedCheck = TimeCheckForUpdates(folder, count, keys);
        std::printf("%8d %12.3f s %12.3f s %14.3f s %14.3f s %14.3f s %14.3f s\n", count,
                    profile.load, once.load, profile.check, once.check, checkForUpdates,
                    verifiedCheck);
        DeleteFileW(manifest.c_str());
    }
    RemoveBenchFiles(folder, 10000);
    RemoveDirectoryW(folder.c_str());
    return 0;
}
