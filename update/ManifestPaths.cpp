#include "update/ManifestPaths.h"

#include <algorithm>
#include <cstdint>

#include "framework/PathText.h"

namespace ManifestPaths {

namespace {

constexpr int kWindowsFolder = 36;
constexpr int kSystemFolder = 37;
constexpr int kProgramFilesFolder = 38;
constexpr int kTempFolder = 60;

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

BaseFolderKind BaseFolderKindOf(int folderType) {
    switch (folderType) {
        case 0:
            return BaseFolderKind::Install;
        case kWindowsFolder:
            return BaseFolderKind::Windows;
        case kSystemFolder:
            return BaseFolderKind::System;
        case kProgramFilesFolder:
            return BaseFolderKind::ProgramFiles;
        case kTempFolder:
            return BaseFolderKind::Temp;
        default:
            return folderType > 0 && folderType < kTempFolder ? BaseFolderKind::Shell
                                                              : BaseFolderKind::Drive;
    }
}

std::wstring DriveFolder(int folderType) {
    // A UTF-16 code unit, as the folder text holds it, whatever the host's wchar_t width.
    const auto letter = static_cast<wchar_t>(static_cast<std::uint16_t>(folderType));
    if (letter == L'\0') return std::wstring();
    return std::wstring{letter, L':'};
}

std::wstring ProgramFilesFolder(std::wstring_view windowsFolder) {
    std::wstring folder;
    if (windowsFolder.size() >= 2 && windowsFolder[1] == L':') folder = windowsFolder.substr(0, 2);
    return folder + L"\\Program Files";
}

std::wstring ComposeTargetPath(std::wstring_view baseFolder, std::wstring_view targetDir,
                               std::wstring_view name) {
    std::wstring path = PathText::AppendBackslash(baseFolder);
    path += targetDir;
    path = PathText::AppendBackslash(path);
    path += name;
    return path;
}

std::wstring BuildPackageUrl(std::wstring_view updateUrl, std::wstring_view name) {
    std::wstring url(updateUrl);
    if (url.empty() || url.back() != L'/') url += L'/';
    url += L"RudovuZado/";
    url += name;
    url += L".zip";
    std::replace(url.begin(), url.end(), L'\\', L'/');
    return url;
}

bool IsObjectName(std::wstring_view object) {
    constexpr std::wstring_view kFolder = L"objects/";
    constexpr std::wstring_view kExtension = L".zip";
    constexpr size_t kDigits = 64;
    if (object.size() != kFolder.size() + kDigits + kExtension.size()) return false;
    if (object.substr(0, kFolder.size()) != kFolder) return false;
    if (object.substr(kFolder.size() + kDigits) != kExtension) return false;
    const std::wstring_view digits = object.substr(kFolder.size(), kDigits);
    return std::all_of(digits.begin(), digits.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
    });
}

std::wstring BuildObjectUrl(std::wstring_view updateUrl, std::wstring_view object) {
    std::wstring url(updateUrl);
    if (url.empty() || url.back() != L'/') url += L'/';
    url += object;
    return url;
}

std::wstring PackageUrlOf(std::wstring_view updateUrl, std::wstring_view name,
                          std::wstring_view object) {
    return object.empty() ? BuildPackageUrl(updateUrl, name) : BuildObjectUrl(updateUrl, object);
}

std::uint64_t FileBound(long long fileSize, bool signedManifest) {
    constexpr std::uint64_t kLeastSlack = 64u << 10;
    if (fileSize <= 0) return 0;
    const auto size = static_cast<std::uint64_t>(fileSize);
    return signedManifest ? size : size + std::max(size / 16, kLeastSlack);
}

std::uint64_t PackageBodyBound(long long fileSize) {
    constexpr std::uint64_t kRecordsAllowance = 256u << 10;
    if (fileSize <= 0) return 0;
    const auto size = static_cast<std::uint64_t>(fileSize);
    return size + size / 4096 + kRecordsAllowance;
}

bool TypeAccepted(const std::vector<std::wstring>& typeFilter, std::wstring_view type) {
    return typeFilter.empty() ||
           std::find(typeFilter.begin(), typeFilter.end(), type) != typeFilter.end();
}

bool HasDllExtension(std::wstring_view path) {
    const std::wstring name = PathText::FileNamePart(path);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    constexpr std::wstring_view kDll = L".dll";
    const std::wstring_view extension = std::wstring_view(name).substr(dot);
    return extension.size() == kDll.size() &&
           std::equal(extension.begin(), extension.end(), kDll.begin(),
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == b; });
}

}  // namespace ManifestPaths
