#include "zip/CZipTargetFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cwctype>

#include "framework/CFileException.h"
#include "framework/FileSystem.h"
#include "framework/SystemError.h"

namespace {

constexpr size_t longestTemporaryName = 8;
constexpr int attempts = 64;

bool SameName(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

// Differs from call to call and, by the clock, from process to process.
uint64_t NextNumber() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x = counter.fetch_add(1) * 0x9E3779B97F4A7C15ull +
                 uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    x ^= x >> 30, x *= 0xBF58476D1CE4E5B9ull, x ^= x >> 27, x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The longest temporary name (up to 8) whose path the ordinary file calls still open: every
// target they can open leaves room for one at least as long as its own name.
size_t RoomFor(const std::wstring& folder) {
    size_t length = longestTemporaryName;
    while (length > 1 && !FileSystem::FitsPathLimit(folder + std::wstring(length, L'~'), false))
        --length;
    return length;
}

// The platform's error of the last call, or the run time's where the platform has none.
uint32_t LastError() {
    const uint32_t error = SystemError::Last();
    return error != 0 ? error : static_cast<uint32_t>(errno);
}

}  // namespace

std::wstring CZipTargetFile::TemporaryName(uint64_t number, size_t length) {
    static constexpr wchar_t digits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    length = std::clamp<size_t>(length, 1, longestTemporaryName);
    std::wstring name = length == 1 ? L"" : L"~";
    while (name.size() < length) {
        name += digits[number % 36];
        number /= 36;
    }
    return name;
}

CZipTargetFile::CZipTargetFile(std::wstring targetPath) : target(std::move(targetPath)) {
    // Made by hand rather than by the platform's temporary-name call, which refuses folders
    // longer than MAX_PATH - 14 that still hold files of short names. The folder keeps its
    // separator (no folder: npos + 1 is 0), so that a target in a root stays there.
    const size_t cut = target.find_last_of(L"\\/") + 1;
    const std::wstring folder = target.substr(0, cut);
    const std::wstring targetName = target.substr(cut);
    const size_t length = RoomFor(folder);
    uint32_t error = EEXIST;
    for (int i = 0; i < attempts; ++i) {
        const std::wstring name = TemporaryName(NextNumber(), length);
        if (SameName(name, targetName)) continue;
        const std::wstring path = folder + name;
        if (FileSystem::CreateNewFile(path)) {
            temporaryPath = path;
            break;
        }
        error = LastError();
        // Only a name in use is worth another try.
        if (!FileSystem::Exists(path)) break;
    }
    if (temporaryPath.empty()) CFileException::ThrowOsError(error, target);
    try {
        // The file was just made empty; truncating it again would only make some file systems
        // flush it at close.
        file.Open(
            temporaryPath,
            CFile::modeCreate | CFile::modeNoTruncate | CFile::shareDenyWrite | CFile::modeWrite,
            true);
    } catch (...) {
        FileSystem::RemoveFile(temporaryPath);
        throw;
    }
}

CZipTargetFile::~CZipTargetFile() {
    file.Close();
    if (!committed) FileSystem::RemoveFile(temporaryPath);
}

bool CZipTargetFile::Commit() {
    file.Close();
    committed = FileSystem::MoveOver(temporaryPath, target);
    return committed;
}
