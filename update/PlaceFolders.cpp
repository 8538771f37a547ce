#include "update/PlaceFolders.h"

namespace PlaceFolders {

bool IsDriveRoot(const std::wstring& folder) {
    return folder.size() == 3 && folder[1] == L':' && folder[2] == L'\\';
}

std::vector<std::wstring> DownTo(const std::wstring& base, const std::wstring& target) {
    std::vector<std::wstring> folders;
    if (base.empty() || base.back() != L'\\' || target.size() <= base.size() ||
        target.compare(0, base.size(), base) != 0)
        return folders;
    folders.push_back(IsDriveRoot(base) ? base : base.substr(0, base.size() - 1));
    for (size_t at = target.find(L'\\', base.size()); at != std::wstring::npos;
         at = target.find(L'\\', at + 1))
        folders.push_back(target.substr(0, at));
    return folders;
}

}  // namespace PlaceFolders
