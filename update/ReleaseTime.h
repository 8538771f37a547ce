#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "update/ManifestDate.h"

// The earliest file time. A release time that cannot be formed is taken as this, so that a
// date check never asks for a download on account of it.
constexpr ULONGLONG kEarliestFileTime = 0;

// Local time to the minute as a UTC file time, with the zone's offset on that date (summer or
// winter time); kEarliestFileTime when the fields do not form a valid time (month 0 or above 12,
// year before 1601, ...).
ULONGLONG LocalMinuteToFileTime(const ManifestDate& minute);

// The release time a manifest ModifyDate names.
ULONGLONG ReleaseTimeOf(std::wstring_view modifyDate);

// The file's last-write time in local time with the offset on its date, seconds dropped;
// nothing when it cannot be read.
std::optional<ManifestDate> GetFileWriteMinute(const wchar_t* path);

// Gives the file the release time modifyDate names as its last-write time: under a signed
// manifest every installed file carries the signed date, whichever way it was made. False when
// the date forms no time or the file's time cannot be set.
bool StampReleaseTime(const std::wstring& path, std::wstring_view modifyDate);
