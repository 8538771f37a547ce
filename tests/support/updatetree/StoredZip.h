#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace updatetree {

// One entry of a ZIP archive: its stored name ("bin/A.dll"), its bytes and its modification
// time, local time as ZIP keeps it (to two seconds).
struct ZipEntry {
    std::string name;
    std::string data;
    SYSTEMTIME time{};
    bool deflated = false;  // raw deflate (method 8) instead of stored
};

// Writes an archive of stored (uncompressed) or deflated entries, in the given order; folders
// are made.
// False when the file cannot be written.
bool WriteStoredZip(const std::wstring& path, const std::vector<ZipEntry>& entries);

}  // namespace updatetree
