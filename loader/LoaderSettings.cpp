#include "loader/LoaderSettings.h"

#include "framework/PathText.h"
#include "loader/InstallFolder.h"
#include "support/CIni.h"

void WriteLoaderSettings(const std::wstring& server, const std::wstring& enc,
                         const std::wstring& entId, const std::wstring& entName) {
    const std::wstring path = PathText::AppendBackslash(GetInstallFolder()) + L"PelkoWebLoader.ini";
    CIni ini;
    ini.SetPathName(path.c_str());
    constexpr wchar_t kSection[] = L"PelkoWebLoader";
    ini.WriteString(kSection, L"Server", server.c_str());
    ini.WriteString(kSection, L"Enc", enc.c_str());
    ini.WriteString(kSection, L"EntID", entId.c_str());
    ini.WriteString(kSection, L"EntName", entName.c_str());
}
