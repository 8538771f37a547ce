#include "update/CFileContent.h"

#include <string>
#include <vector>

#include "framework/win32/DebugOutput.h"
#include "support/CIni.h"
#include "support/CIniSnapshot.h"
#include "update/ManifestPaths.h"

namespace {

// Reader is CIni or CIniSnapshot, which answer alike.
template <class Reader>
ManifestEntry ReadEntry(const Reader& ini, const std::wstring& section) {
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
    return entry;
}

// False, reading nothing, for a manifest with more sections than the bound.
template <class Reader>
bool ReadEntries(const Reader& ini, std::list<ManifestEntry>& entries) {
    std::vector<std::wstring> sections;
    ini.GetSectionNames(&sections);
    if (sections.size() > ManifestPaths::kMaxManifestEntries) {
        DebugOutput::DebugFormat(
            L"CFileContent::Load, %u sections are more than a manifest holds\n",
            static_cast<unsigned>(sections.size()));
        return false;
    }
    for (const std::wstring& section : sections) entries.push_back(ReadEntry(ini, section));
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

bool CFileContent::Load(const wchar_t* path) {
    m_entries.clear();
    // No file name would make the profile functions read win.ini instead.
    if (!path || !*path) return true;
    if (BeyondManifestBound(path)) return false;
    try {
        CIniSnapshot snapshot;
        if (!snapshot.Load(path)) return LoadThroughProfile(path);
        return ReadEntries(snapshot, m_entries);
    } catch (...) {
        return false;
    }
}

bool CFileContent::LoadThroughProfile(const wchar_t* path) {
    m_entries.clear();
    if (!path || !*path) return true;
    try {
        CIni ini;
        ini.SetPathName(path);
        return ReadEntries(ini, m_entries);
    } catch (...) {
        return false;
    }
}
