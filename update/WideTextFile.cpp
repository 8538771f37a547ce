#include "update/WideTextFile.h"

#include "framework/win32/UniqueHandle.h"

namespace WideTextFile {

std::optional<std::wstring> Read(const std::wstring& path, DWORD maxBytes) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > maxBytes ||
        size.QuadPart % sizeof(wchar_t) != 0)
        return std::nullopt;
    std::wstring text(static_cast<size_t>(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    const auto bytes = static_cast<DWORD>(size.QuadPart);
    if (!ReadFile(file.get(), text.data(), bytes, &read, nullptr) || read != bytes)
        return std::nullopt;
    return text;
}

bool Write(const std::wstring& path, const std::wstring& text, DWORD disposition) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    const auto bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), bytes, &written, nullptr) && written == bytes &&
           FlushFileBuffers(file.get());
}

}  // namespace WideTextFile
