#include "loader/CPelkoWebDLL.h"

#include <windows.h>

#include "framework/PathText.h"
#include "framework/win32/UserMessage.h"
#include "loader/DeploymentValues.h"
#include "loader/InstallFolder.h"
#include "loader/LoaderProcess.h"
#include "loader/LoaderSettings.h"
#include "loader/LoaderTexts.h"
#include "loader/PatchStep.h"
#include "loader/ServerHostRule.h"
#include "support/CIni.h"

namespace {

std::wstring TextOf(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ShowServerError(const std::wstring& text) {
    UserMessage::ShowMessageBox(nullptr, text, LoaderTexts::kErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

void* CPelkoWebDLL::ScalarDeletingDestructor(unsigned int flags) {
    if (flags & 1)
        delete this;
    else
        this->~CPelkoWebDLL();
    return this;
}

void CPelkoWebDLL::StartPelkoDesk(const wchar_t* server, const wchar_t* encData) {
    Launch(TextOf(server), TextOf(encData), L"", L"", L"PelkoDeskLoader.exe");
}

void CPelkoWebDLL::StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                              const wchar_t* enterpriseName) {
    Launch(TextOf(server), L"", TextOf(enterpriseId), TextOf(enterpriseName), L"PelkoLoader.exe");
}

void CPelkoWebDLL::StartPelkoAgent(const wchar_t* server, const wchar_t* encData) {
    Launch(TextOf(server), TextOf(encData), L"", L"", L"PelkoAgentLoader.exe");
}

bool CPelkoWebDLL::CheckServer(const wchar_t* server) const {
    const std::wstring serverText = TextOf(server);
    const std::wstring hostsPath = PathText::AppendBackslash(GetInstallFolder()) + L"hosts.ini";
    if (IsFile(hostsPath)) {
        CIni hosts;
        hosts.SetPathName(hostsPath.c_str());
        if (!ServerHostRule::SameServerText(hosts.GetString(L"Site", L"Url", nullptr),
                                            serverText)) {
            ShowServerError(LoaderTexts::kServerMismatch);
            return false;
        }
    }
    if (ServerHostRule::IsAllowedServer(serverText, DeploymentValues::kAllowedDomain1,
                                        DeploymentValues::kAllowedDomain2))
        return true;
    ShowServerError(LoaderTexts::WrongServerText(serverText));
    return false;
}

void CPelkoWebDLL::Launch(const std::wstring& server, const std::wstring& enc,
                          const std::wstring& entId, const std::wstring& entName,
                          const wchar_t* exeName) const {
    if (!CheckServer(server.c_str())) return;
    RunPatchStep(server);
    WriteLoaderSettings(server, enc, entId, entName);
    LaunchLoader(exeName);
}
