#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One section of the update manifest: one file of the local installation.
struct ManifestEntry {
    std::wstring name;  // the section name
    int folderType = 0;
    std::wstring targetDir;
    std::wstring modifyDate;  // kept as text; ParseManifestDate reads it
    int fileSize = 0;
    BOOL registerDll = FALSE;
    BOOL checkDate = FALSE;
    std::wstring type;
    std::wstring sha256;  // Sha256: the file's digest in a signed manifest
    // Object: where a signed manifest puts the package by its own digest
    // (ManifestPaths::IsObjectName); empty for the classic package.
    std::wstring object;
    // Delta1..Delta5 of a signed manifest, as written (DeltaChoice reads them).
    std::vector<std::wstring> deltas;

    bool operator==(const ManifestEntry&) const = default;
};
