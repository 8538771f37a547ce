#include "update/CFileContent.h"

#include <string>
#include <vector>

#include "support/CIni.h"
#include "support/CIniSnapshot.h"

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

template <class Reader>
void ReadEntries(const Reader& ini, std::list<ManifestEntry>& entries) {
    std::vector<std::wstring> sections;
    ini.GetSectionNames(&sections);
    for (const std::wstring& section : sections) entries.push_back(ReadEntry(ini, section));
}

}  // namespace

bool CFileContent::Load(const wchar_t* path) {
    m_entries.clear();
    // No file name would make the profile functions read win.ini instead.
    if (!path || !*path) return true;
    try {
        CIniSnapshot snapshot;
        if (!snapshot.Load(path)) return LoadThroughProfile(path);
        ReadEntries(snapshot, m_entries);
        return true;
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
        ReadEntries(ini, m_entries);
        return true;
    } catch (...) {
        return false;
    }
}
