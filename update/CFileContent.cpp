#include "update/CFileContent.h"

#include <string>
#include <vector>

#include "support/CIni.h"

namespace {

ManifestEntry ReadEntry(const CIni& ini, const std::wstring& section) {
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
    return entry;
}

}  // namespace

bool CFileContent::Load(const wchar_t* path) {
    m_entries.clear();
    // No file name would make the profile functions read win.ini instead.
    if (!path || !*path) return true;
    try {
        CIni ini;
        ini.SetPathName(path);
        std::vector<std::wstring> sections;
        ini.GetSectionNames(&sections);
        for (const std::wstring& section : sections) m_entries.push_back(ReadEntry(ini, section));
        return true;
    } catch (...) {
        return false;
    }
}
