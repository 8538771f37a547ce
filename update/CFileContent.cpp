#include "update/CFileContent.h"

#include <string>
#include <utility>
#include <vector>

#include "framework/win32/DebugOutput.h"
#include "support/CIni.h"
#include "support/CIniSnapshot.h"
#include "update/DeltaChoice.h"
#include "update/ManifestPaths.h"

namespace {

// Reader is CIni or CIniSnapshot, which answer alike.
template <class Reader>
ManifestEntry ReadEntry(const Reader& ini, const std::wstring& section, bool signedManifest) {
    const wchar_t* s = section.c_str();
    ManifestEntry entry;
    entry.name = section;
    entry.folderType = static_cast<int>(ini.GetInt(s, L"FolderType", 0, 10));
    entry.targetDir = ini.GetString(s, L"TargetDir", L"");
    entry.modifyDate = ini.GetString(s, L"ModifyDate", L"");
    entry.fileSize = static_cast<int>(ini.GetInt(s, L"FileSize", 0, 10));
    entry.registerDll = ini.GetBool(s, L"Register", FALSE);
    entry.checkDate = ini.GetBool(s, L"CheckDate", FALSE);
    entry.type = ini.GetString(s, L"Type", L"");
    entry.sha256 = ini.GetString(s, L"Sha256", L"");
    if (!signedManifest) return entry;
    entry.object = ini.GetString(s, L"Object", L"");
    for (int i = 1; i <= DeltaChoice::mostOffers; ++i) {
        std::wstring offer = ini.GetString(s, DeltaChoice::KeyName(i).c_str(), L"");
        if (!offer.empty()) entry.deltas.push_back(std::move(offer));
    }
    return entry;
}

// The object's text becomes part of a URL: only the one shape is fetched.
bool ObjectAccepted(const ManifestEntry& entry) {
    if (entry.object.empty() || ManifestPaths::IsObjectName(entry.object)) return true;
    DebugOutput::DebugFormat(L"Manifest entry [%s] skipped: Object is not objects/<SHA-256>.zip\n",
                             entry.name.c_str());
    return false;
}

// False, reading nothing, for a manifest with more sections than the bound.
template <class Reader>
bool ReadEntries(const Reader& ini, bool signedManifest, std::list<ManifestEntry>& entries) {
    std::vector<std::wstring> sections;
    ini.GetSectionNames(&sections);
    if (sections.size() > ManifestPaths::kMaxManifestEntries) {
        DebugOutput::DebugFormat(
            L"CFileContent::Load, %u sections are more than a manifest holds\n",
            static_cast<unsigned>(sections.size()));
        return false;
    }
    for (const std::wstring& section : sections) {
        ManifestEntry entry = ReadEntry(ini, section, signedManifest);
        if (ObjectAccepted(entry)) entries.push_back(std::move(entry));
    }
    return true;
}

// A file above the manifest's bound is not read at all: the profile functions' cost would grow
// with the square of its size.
bool BeyondManifestBound(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &facts)) return false;
    const ULONGLONG size = (ULONGLONG{facts.nFileSizeHigh} << 32) | facts.nFileSizeLow;
    if (size <= ManifestPaths::kMaxManifestBytes) return false;
    DebugOutput::DebugFormat(L"CFileContent::Load, %I64u bytes are more than a manifest holds\n",
                             size);
    return true;
}

}  // namespace

bool CFileContent::Load(const wchar_t* path, bool signedManifest) {
    m_entries.clear();
    // No file name would make the profile functions read win.ini instead.
    if (!path || !*path) return true;
    if (BeyondManifestBound(path)) return false;
    try {
        CIniSnapshot snapshot;
        if (!snapshot.Load(path)) return LoadThroughProfile(path, signedManifest);
        return ReadEntries(snapshot, signedManifest, m_entries);
    } catch (...) {
        return false;
    }
}

bool CFileContent::LoadThroughProfile(const wchar_t* path, bool signedManifest) {
    m_entries.clear();
    if (!path || !*path) return true;
    try {
        CIni ini;
        ini.SetPathName(path);
        return ReadEntries(ini, signedManifest, m_entries);
    } catch (...) {
        return false;
    }
}
