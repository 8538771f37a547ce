#include "support/CIni.h"

#include <cwchar>
#include <stdexcept>

namespace {

std::unique_ptr<wchar_t[]> CopyText(const wchar_t* text) {
    const size_t length = text ? std::wcslen(text) : 0;
    auto copy = std::make_unique<wchar_t[]>(length + 1);
    if (length) std::wmemcpy(copy.get(), text, length);
    return copy;
}

}  // namespace

CIni::ProfileApi& CIni::Platform() {
    static ProfileApi api{&GetPrivateProfileStringW, &WritePrivateProfileStringW,
                          &GetPrivateProfileSectionNamesW};
    return api;
}

void CIni::SetPathName(const wchar_t* path) {
    if (!path) {
        // The storage stays, so the object remains bound ("read only" still applies).
        if (m_pathName) m_pathName[0] = L'\0';
        return;
    }
    if (m_pathName) throw std::runtime_error("read only");
    m_pathName = CopyText(path);
}

const wchar_t* CIni::Path() const { return m_pathName ? m_pathName.get() : nullptr; }

BOOL CIni::WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value) const {
    if (!section || !key) return FALSE;
    return Platform().writeString(section, key, value ? value : L"", Path());
}

std::unique_ptr<wchar_t[]> CIni::GetStringBuffer(const wchar_t* section, const wchar_t* key,
                                                 const wchar_t* defaultValue) const {
    if (!section || !key) return CopyText(defaultValue);

    DWORD requestSize = kReadStep;
    for (;;) {
        auto buffer = std::make_unique<wchar_t[]>(requestSize + 1);
        const DWORD count = Platform().getString(section, key, defaultValue ? defaultValue : L"",
                                                 buffer.get(), requestSize, Path());
        // A count of size - 1 means the value may have been cut: read again with more room.
        if (count + 1 < requestSize) return buffer;
        requestSize += kReadStep;
    }
}

std::wstring CIni::GetString(const wchar_t* section, const wchar_t* key,
                             const wchar_t* defaultValue) const {
    return GetStringBuffer(section, key, defaultValue).get();
}

std::wstring CIni::NumberText(const wchar_t* value) {
    wchar_t text[kNumberChars + 1] = {};
    if (value) std::wcsncpy(text, value, kNumberChars);
    return text;
}

DWORD CIni::IntFromValue(const wchar_t* value, DWORD defaultValue, int radix) {
    const std::wstring text = NumberText(value);
    if (text.empty()) return defaultValue;
    if (radix != 2 && radix != 8 && radix != 16) radix = 10;
    return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, radix));
}

BOOL CIni::BoolFromValue(const wchar_t* value, BOOL defaultValue) {
    const std::wstring text = NumberText(value);
    if (text.empty()) return defaultValue;
    if (_wcsicmp(text.c_str(), L"true") == 0 || _wcsicmp(text.c_str(), L"yes") == 0) return TRUE;
    return std::wcstol(text.c_str(), nullptr, 10) != 0 ? TRUE : FALSE;
}

DWORD CIni::GetInt(const wchar_t* section, const wchar_t* key, DWORD defaultValue,
                   int radix) const {
    return IntFromValue(GetStringBuffer(section, key, nullptr).get(), defaultValue, radix);
}

BOOL CIni::GetBool(const wchar_t* section, const wchar_t* key, BOOL defaultValue) const {
    return BoolFromValue(GetStringBuffer(section, key, nullptr).get(), defaultValue);
}

DWORD CIni::GetSectionNames(wchar_t* buffer, DWORD size) const {
    if (buffer) return Platform().getSectionNames(buffer, size, Path());

    DWORD probeSize = kReadStep;
    for (;;) {
        auto probe = std::make_unique<wchar_t[]>(probeSize + 1);
        const DWORD count = Platform().getSectionNames(probe.get(), probeSize, Path());
        // A count of size - 2 means the list was cut.
        if (count + 2 < probeSize) return count + 2;
        probeSize += kReadStep;
    }
}

void CIni::GetSectionNames(std::vector<std::wstring>* names) const {
    if (names) names->clear();
    const DWORD needed = GetSectionNames(nullptr, 0);
    if (needed == 0) return;
    // Zero-filled, so the list is double-NUL terminated whatever the platform wrote.
    auto buffer = std::make_unique<wchar_t[]>(needed + 1);
    GetSectionNames(buffer.get(), needed);
    ForEachString(buffer.get(), &AppendToStringArray, names);
}

BOOL CIni::ForEachString(const wchar_t* list, StringVisitor visitor, void* context) {
    if (!list || !visitor) return FALSE;
    for (const wchar_t* item = list; *item; item += std::wcslen(item) + 1) {
        if (!visitor(item, context)) return FALSE;
    }
    return TRUE;
}

BOOL CIni::AppendToStringArray(const wchar_t* item, void* array) {
    if (!item || !array) return FALSE;
    static_cast<std::vector<std::wstring>*>(array)->emplace_back(item);
    return TRUE;
}
