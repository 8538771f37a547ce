#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Access to one INI file through the platform's private-profile functions.
// Nothing is cached: every call reads or writes the file on disk.
class CIni {
public:
    // The private-profile functions, replaceable so that tests can count calls.
    struct ProfileApi {
        DWORD(WINAPI* getString)(LPCWSTR, LPCWSTR, LPCWSTR, LPWSTR, DWORD, LPCWSTR);
        BOOL(WINAPI* writeString)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
        DWORD(WINAPI* getSectionNames)(LPWSTR, DWORD, LPCWSTR);
    };
    static ProfileApi& Platform();

    // Called for each item of a double-NUL-terminated list; returning 0 stops the walk.
    using StringVisitor = BOOL (*)(const wchar_t* item, void* context);

    CIni() = default;
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;
    virtual ~CIni() = default;

    // Binds the object to a file once; a second path throws "read only".
    void SetPathName(const wchar_t* path);

    BOOL WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value) const;

    std::unique_ptr<wchar_t[]> GetStringBuffer(const wchar_t* section, const wchar_t* key,
                                               const wchar_t* defaultValue) const;
    std::wstring GetString(const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultValue) const;
    DWORD GetInt(const wchar_t* section, const wchar_t* key, DWORD defaultValue, int radix) const;
    BOOL GetBool(const wchar_t* section, const wchar_t* key, BOOL defaultValue) const;

    // With a buffer: the platform's character count. Without: the size needed, in characters.
    DWORD GetSectionNames(wchar_t* buffer, DWORD size) const;
    void GetSectionNames(std::vector<std::wstring>* names) const;

    // The conversions of GetInt and GetBool, for a value read by other means (null reads as
    // empty): its first 64 characters count, and empty text gives the default.
    static DWORD IntFromValue(const wchar_t* value, DWORD defaultValue, int radix);
    static BOOL BoolFromValue(const wchar_t* value, BOOL defaultValue);

    static BOOL ForEachString(const wchar_t* list, StringVisitor visitor, void* context);
    static BOOL AppendToStringArray(const wchar_t* item, void* array);

private:
    static constexpr DWORD kReadStep = 512;
    static constexpr size_t kNumberChars = 64;

    const wchar_t* Path() const;
    // The first 64 characters of a value; empty when the key is absent or empty.
    static std::wstring NumberText(const wchar_t* value);

    std::unique_ptr<wchar_t[]> m_pathName;
};
