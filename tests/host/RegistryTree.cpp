#include "host/RegistryTree.h"

#include <algorithm>

namespace {

constexpr DWORD kNameRoom = 16384;

std::wstring DataText(const BYTE* data, DWORD size) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (DWORD i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0xF];
    }
    return text;
}

void Collect(HKEY root, const std::wstring& path, std::vector<std::wstring>& lines) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    lines.push_back(path + L"|");
    std::vector<wchar_t> name(kNameRoom);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = kNameRoom;
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS)
            break;
        lines.push_back(path + L"|" + std::wstring(name.data(), nameSize) + L"|" +
                        std::to_wstring(type) + L"|" + DataText(data.data(), dataSize));
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = kNameRoom;
        if (RegEnumKeyExW(key, i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name.data(), nameSize);
    }
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys) Collect(root, path + L"\\" + subkey, lines);
}

}  // namespace

std::vector<std::wstring> RegistryTree(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> lines;
    Collect(root, path, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}
