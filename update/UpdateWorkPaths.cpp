#include "update/UpdateWorkPaths.h"

#include <cstdint>
#include <cwchar>

#include "framework/PathText.h"

namespace UpdateWorkPaths {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

void HashText(std::uint64_t& hash, std::wstring_view text, bool foldCase) {
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint16_t>(foldCase ? AsciiLower(c) : c);
        for (int shift = 0; shift < 16; shift += 8) {
            hash ^= (unit >> shift) & 0xFFu;
            hash *= kFnvPrime;
        }
    }
    hash ^= 0x0Au;
    hash *= kFnvPrime;
}

}  // namespace

std::wstring WorkFolder(std::wstring_view installFolder) {
    return PathText::AppendBackslash(installFolder) + L"~PelkoUpdate\\";
}

std::wstring LockFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"run.lock";
}

std::wstring JournalFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"commit.journal";
}

std::wstring ManifestFolder(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"manifest";
}

std::wstring PartsFolder(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"parts";
}

std::wstring StagedFolder(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"staged";
}

std::wstring PartName(std::wstring_view targetPath, std::wstring_view modifyDate, int fileSize) {
    std::uint64_t hash = kFnvOffset;
    HashText(hash, targetPath, true);
    HashText(hash, modifyDate, false);
    HashText(hash, std::to_wstring(fileSize), false);
    wchar_t name[24];
    swprintf(name, 24, L"%08x%08x.zip", static_cast<unsigned>(hash >> 32),
             static_cast<unsigned>(hash & 0xFFFFFFFFu));
    return name;
}

std::wstring AsidePath(std::wstring_view targetPath, unsigned attempt) {
    std::wstring path = std::wstring(targetPath) + L".~old";
    return attempt == 0 ? path : path + std::to_wstring(attempt);
}

}  // namespace UpdateWorkPaths
