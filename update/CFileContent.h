#pragma once

#include <list>

#include "update/ManifestEntry.h"

// The entries of one update manifest, in section order.
class CFileContent {
public:
    CFileContent() = default;
    virtual ~CFileContent() = default;

    // A missing or empty manifest gives true and no entries. An exception while reading ends
    // the load with false; entries read before it stay. The file is read once (CIniSnapshot);
    // a file that reading does not reproduce is read through the profile functions instead.
    // A file above ManifestPaths::kMaxManifestBytes, or with more sections than
    // kMaxManifestEntries, is unreadable: false and no entries, whichever way it is read.
    // Only a signed manifest's Object key is read: an entry whose Object is anything but
    // ManifestPaths::IsObjectName's shape is skipped, with a line on the debug output, as an
    // entry with an unsafe path is.
    bool Load(const wchar_t* path, bool signedManifest = false);

    // Every key through the profile functions (CIni), eight calls per entry: what Load must
    // give, and the way it reads the files CIniSnapshot declines.
    bool LoadThroughProfile(const wchar_t* path, bool signedManifest = false);

    const std::list<ManifestEntry>& Entries() const { return m_entries; }

private:
    std::list<ManifestEntry> m_entries;
};
