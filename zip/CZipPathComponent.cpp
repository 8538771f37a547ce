#include "zip/CZipPathComponent.h"

#include <algorithm>
#include <cwctype>

namespace {

constexpr wchar_t longPrefix[] = L"\\\\?\\unc\\";

size_t PrefixLength(const std::wstring& path) {
    size_t k = 0;
    while (k < 8 && k < path.size() &&
           static_cast<wchar_t>(std::towlower(path[k])) == longPrefix[k])
        ++k;
    return (k == 2 || k == 4 || k == 8) ? k : 0;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool CZipPathComponent::SetFullPath(const std::wstring& fullPath) {
    directory.clear(), title.clear(), extension.clear(), drive.clear(), prefix.clear();
    const size_t k = PrefixLength(fullPath);
    const std::wstring path = fullPath.substr(k);

    size_t at = 0;
    std::wstring splitDrive;
    if (path.size() >= 2 && path[1] == L':') {
        splitDrive = path.substr(0, 2);
        at = 2;
    }
    size_t lastSeparator = std::wstring::npos;
    for (size_t i = at; i < path.size(); ++i) {
        if (IsSeparator(path[i])) lastSeparator = i;
    }
    const size_t nameStart = lastSeparator == std::wstring::npos ? at : lastSeparator + 1;
    const std::wstring splitDirectory = path.substr(at, nameStart - at);
    const std::wstring name = path.substr(nameStart);
    const size_t dot = name.rfind(L'.');
    const std::wstring splitTitle = dot == std::wstring::npos ? name : name.substr(0, dot);
    const std::wstring splitExtension = dot == std::wstring::npos ? L"" : name.substr(dot);
    if (splitDirectory.size() > maxDirectory || splitTitle.size() > maxTitle ||
        splitExtension.size() > maxExtension)
        return false;

    prefix = fullPath.substr(0, k);
    drive = splitDrive;
    const size_t first = splitDirectory.find_first_not_of(L'\\');
    const size_t last = splitDirectory.find_last_not_of(L'\\');
    if (first != std::wstring::npos) directory = splitDirectory.substr(first, last - first + 1);
    extension = splitExtension.substr(
        std::min(splitExtension.find_first_not_of(L'.'), splitExtension.size()));
    title = splitTitle;
    return true;
}

std::wstring CZipPathComponent::FileName() const {
    return extension.empty() ? title : title + L"." + extension;
}

std::wstring CZipPathComponent::PathWithoutDrive() const {
    const std::wstring fileName = FileName();
    if (!directory.empty() && !fileName.empty()) return directory + L"\\" + fileName;
    return directory + fileName;
}

std::wstring CZipPathComponent::FolderPath() const {
    if (!drive.empty() && !directory.empty()) return prefix + drive + L"\\" + directory;
    return prefix + drive + directory;
}
