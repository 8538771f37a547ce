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

constexpr std::wstring_view kTempRunPrefix = L"PelkoUpdate-";
constexpr std::wstring_view kDeltaPartSuffix = L".pdelta";

// Reads 1 to 10 decimal digits that fit 32 bits from the front of text.
std::optional<unsigned> TakeNumber(std::wstring_view& text) {
    std::uint64_t value = 0;
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9' && digits < 10)
        value = value * 10 + static_cast<unsigned>(text[digits++] - L'0');
    if (digits == 0 || value > 0xFFFFFFFFu) return std::nullopt;
    text.remove_prefix(digits);
    return static_cast<unsigned>(value);
}

}  // namespace

std::wstring WorkFolder(std::wstring_view installFolder) {
    return PathText::AppendBackslash(installFolder) + L"~PelkoUpdate\\";
}

std::wstring InstallFolderOf(std::wstring_view workFolder) {
    std::wstring_view folder = workFolder;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.remove_suffix(1);
    return PathText::AppendBackslash(PathText::FolderPart(folder));
}

std::wstring LockFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"run.lock";
}

std::wstring JournalFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"commit.journal";
}

std::wstring InstallRecordFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"installed.record";
}

std::wstring PostponedFile(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"postponed.txt";
}

std::wstring ManifestFolder(std::wstring_view workFolder) {
    return std::wstring(workFolder) + L"manifest";
}

std::wstring TempRunFolderName(unsigned processId, unsigned n) {
    return std::wstring(kTempRunPrefix) + std::to_wstring(processId) + L"-" + std::to_wstring(n);
}

std::optional<unsigned> TempRunFolderOwner(std::wstring_view name) {
    if (name.substr(0, kTempRunPrefix.size()) != kTempRunPrefix) return std::nullopt;
    name.remove_prefix(kTempRunPrefix.size());
    const std::optional<unsigned> owner = TakeNumber(name);
    if (!owner || name.empty() || name.front() != L'-') return std::nullopt;
    name.remove_prefix(1);
    if (!TakeNumber(name) || !name.empty()) return std::nullopt;
    return owner;
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

std::wstring StagedName(std::wstring_view targetPath, std::wstring_view modifyDate, int fileSize) {
    std::wstring name = PartName(targetPath, modifyDate, fileSize);
    return name.substr(0, name.size() - 4);
}

std::wstring DeltaPartName(std::wstring_view partName, std::wstring_view deltaSha256) {
    constexpr size_t kShaDigits = 16;
    const std::wstring_view release = partName.substr(0, partName.rfind(L'.'));
    return std::wstring(release) + L"-" + std::wstring(deltaSha256.substr(0, kShaDigits)) +
           std::wstring(kDeltaPartSuffix);
}

bool IsDeltaPartName(std::wstring_view name) {
    return name.size() > kDeltaPartSuffix.size() &&
           name.substr(name.size() - kDeltaPartSuffix.size()) == kDeltaPartSuffix;
}

std::wstring AsidePath(std::wstring_view targetPath, unsigned attempt) {
    std::wstring path = std::wstring(targetPath) + L".~old";
    return attempt == 0 ? path : path + std::to_wstring(attempt);
}

}  // namespace UpdateWorkPaths
