#include "support/CIniSnapshot.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string_view>

#include "support/CIni.h"

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

std::optional<std::string> ReadWholeFile(const wchar_t* path) {
    FileHandle file(CreateFileW(path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > CIniSnapshot::kLargestFile)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                      &read, nullptr) ||
            read == 0)
            return std::nullopt;
        done += read;
    }
    return bytes;
}

std::optional<std::wstring> MultiByteText(UINT codePage, const char* bytes, size_t size) {
    if (size == 0) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), text.data(), length);
    return text;
}

// The text as the profile functions decode it: a UTF-8 or UTF-16 byte-order mark, else the
// ANSI code page. Nothing for what is left to them.
std::optional<std::wstring> DecodeProfileText(const std::string& bytes) {
    const auto startsWith = [&bytes](std::string_view mark) {
        return std::string_view(bytes).substr(0, mark.size()) == mark;
    };
    if (startsWith("\xEF\xBB\xBF"))
        return MultiByteText(CP_UTF8, bytes.data() + 3, bytes.size() - 3);
    if (startsWith("\xFF\xFE")) {
        if (bytes.size() % 2 != 0) return std::nullopt;
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        std::memcpy(text.data(), bytes.data() + 2, bytes.size() - 2);
        return text;
    }
    if (startsWith("\xFE\xFF")) return std::nullopt;
    return MultiByteText(CP_ACP, bytes.data(), bytes.size());
}

}  // namespace

bool CIniSnapshot::Load(const wchar_t* path) {
    m_text.Parse({});
    if (!path || !std::wcspbrk(path, L"\\/:")) return false;
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return false;
    const std::optional<std::wstring> text = DecodeProfileText(*bytes);
    return text && m_text.Parse(*text);
}

void CIniSnapshot::GetSectionNames(std::vector<std::wstring>* names) const {
    if (names) *names = m_text.SectionNames();
}

const wchar_t* CIniSnapshot::Find(const wchar_t* section, const wchar_t* key,
                                  std::wstring& value) const {
    if (!section || !key) return nullptr;
    const auto found = m_text.Find(section, key);
    if (!found) return nullptr;
    value.assign(*found);
    return value.c_str();
}

std::wstring CIniSnapshot::GetString(const wchar_t* section, const wchar_t* key,
                                     const wchar_t* defaultValue) const {
    std::wstring value;
    if (Find(section, key, value)) return value;
    // The profile functions drop the trailing spaces of a default but keep its first
    // character; CIni hands a default over unread only when section or key is missing.
    std::wstring fallback = defaultValue ? defaultValue : L"";
    if (section && key && !fallback.empty()) {
        const size_t last = fallback.find_last_not_of(L' ');
        fallback.resize(last == std::wstring::npos ? 1 : last + 1);
    }
    return fallback;
}

DWORD CIniSnapshot::GetInt(const wchar_t* section, const wchar_t* key, DWORD defaultValue,
                           int radix) const {
    std::wstring value;
    return CIni::IntFromValue(Find(section, key, value), defaultValue, radix);
}

BOOL CIniSnapshot::GetBool(const wchar_t* section, const wchar_t* key, BOOL defaultValue) const {
    std::wstring value;
    return CIni::BoolFromValue(Find(section, key, value), defaultValue);
}
