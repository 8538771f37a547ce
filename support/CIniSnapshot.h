#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/CIniText.h"

// One reading of an INI file, answering the reads of CIni with the same results, without a
// platform call per value. Load declines a file whose reading by the private-profile functions
// it does not reproduce; the caller then reads that file through CIni.
class CIniSnapshot {
public:
    // Files above this size are left to the profile functions.
    static constexpr DWORD kLargestFile = 32u << 20;

    // False when the file cannot be opened or read, or holds what CIniText leaves to the
    // platform, or is UTF-16 big-endian or of an odd length, or the path has no folder part
    // (the profile functions would look in the Windows folder).
    bool Load(const wchar_t* path);

    void GetSectionNames(std::vector<std::wstring>* names) const;
    std::wstring GetString(const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultValue) const;
    DWORD GetInt(const wchar_t* section, const wchar_t* key, DWORD defaultValue, int radix) const;
    BOOL GetBool(const wchar_t* section, const wchar_t* key, BOOL defaultValue) const;

private:
    // The value, or null when the key gives the default.
    const wchar_t* Find(const wchar_t* section, const wchar_t* key, std::wstring& value) const;

    CIniText m_text;
};
