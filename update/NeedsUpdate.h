#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Whether the file at targetPath must be downloaded. Entries outside a non-empty typeFilter
// are ignored; a missing file is always out of date; with checkDate the file's last-write
// minute is compared with releaseTime (a UTC file time, see ReleaseTimeOf). An existing file
// that is not checked by date but marked registerDll is registered again instead, only when it
// has registerSha256 (lower-case hexadecimal, hashed through the handle it is loaded from) where
// one is given.
bool NeedsUpdate(const std::wstring& targetPath, ULONGLONG releaseTime, BOOL registerDll,
                 BOOL checkDate, const std::wstring& type,
                 const std::vector<std::wstring>& typeFilter,
                 const std::wstring& registerSha256 = std::wstring());
