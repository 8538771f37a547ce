#pragma once

#include <list>

#include "update/ManifestEntry.h"

// The entries of one update manifest, in section order.
class CFileContent {
public:
    CFileContent() = default;
    virtual ~CFileContent() = default;

    // A missing or empty manifest gives true and no entries. An exception while reading ends
    // the load with false; entries read before it stay.
    bool Load(const wchar_t* path);

    const std::list<ManifestEntry>& Entries() const { return m_entries; }

private:
    std::list<ManifestEntry> m_entries;
};
