#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The file-system calls of the portable core, with the same results on every platform.
// Paths may use "\" or "/" as separator.
namespace FileSystem {

constexpr uint32_t attributeReadOnly = 0x01;
constexpr uint32_t attributeHidden = 0x02;
constexpr uint32_t attributeFolder = 0x10;
constexpr uint32_t attributeArchive = 0x20;
constexpr uint32_t attributeNormal = 0x80;
constexpr uint32_t invalidAttributes = 0xFFFFFFFF;

// Platform attribute bits (read-only, hidden, archive...). Elsewhere only read-only has an
// effect: it takes away or gives back the write permission.
bool SetAttributes(const std::wstring& path, uint32_t attributes);
uint32_t GetAttributes(const std::wstring& path);

bool Exists(const std::wstring& path);
// Bytes of a file; 0 when it is missing or cannot be read.
uint64_t FileSize(const std::wstring& path);
bool IsExistingFolder(const std::wstring& path);
// One folder; its parent must exist.
bool CreateFolder(const std::wstring& path);
bool RemoveFile(const std::wstring& path);

// Access time now, modification time t (seconds since 1970, UTC); t of -1 means now.
bool SetFileTimes(const std::wstring& path, int64_t t);
// Calendar time from broken-down local time, out-of-range fields normalised; -1 when the
// result lies outside 1970-01-01 00:00:00 UTC to 3000-12-31 23:59:59 UTC.
int64_t MakeLocalTime(std::tm fields);

// Creates a new empty file with a unique name in folder and returns its path; empty on
// failure.
std::wstring CreateTempFileIn(const std::wstring& folder);
// The same for a record of the component's runs: readable and writable by this user and the
// machine's administrators only (a protected access list of the user, SYSTEM and the
// Administrators; mode 0600 elsewhere), or, in a folder prepared for several users, with the
// folder's inherited list (FolderSecurity::RecordDescriptorIn). A record of the run's work
// folder takes its list from the install folder (listOf): the work folder is owned by whichever
// member made it.
std::wstring CreateRecordTempFileIn(const std::wstring& folder);
std::wstring CreateRecordTempFileIn(const std::wstring& folder, const std::wstring& listOf);
// Creates an empty file; false when something of that name exists or it cannot be made.
bool CreateNewFile(const std::wstring& path);
// Moves from over to, replacing it even when it is read-only, hidden or system; on failure to
// is left as it was.
bool MoveOver(const std::wstring& from, const std::wstring& to);

// Length of the path as the platform counts it: UTF-16 units on Windows, bytes elsewhere.
size_t PathLength(const std::wstring& path);
// The longest path the platform's ordinary calls take for a file, or for a folder they are to
// create. Windows: 259 characters, 247 to create a folder (room is kept for a short name),
// 32767 in the "\\?\" form; elsewhere PATH_MAX - 1 bytes.
size_t LongestPath(const std::wstring& path, bool folder);
// True when the path is within LongestPath and no part of it is longer than the 255 units a
// file system takes for one name.
bool FitsPathLimit(const std::wstring& path, bool folder);

// True when the path's drive is removable media (never on platforms without drives).
bool IsOnRemovableDrive(const std::wstring& path);

}  // namespace FileSystem
