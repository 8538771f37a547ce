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
#include "loader/SettingsValueRule.h"
#include "support/CIni.h"
#include "support/bcl/common/exception/CaughtException.h"

namespace {

using bcl::common::exception::ReportCaughtException;

std::wstring TextOf(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ShowLaunchError(const std::wstring& text) {
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
    Launch({server, encData, nullptr, nullptr, L"PelkoDeskLoader.exe"}, &RunPatchStep);
}

void CPelkoWebDLL::StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                              const wchar_t* enterpriseName) {
    Launch({server, nullptr, enterpriseId, enterpriseName, L"PelkoLoader.exe"}, &RunPatchStep);
}

void CPelkoWebDLL::StartPelkoAgent(const wchar_t* server, const wchar_t* encData) {
    Launch({server, encData, nullptr, nullptr, L"PelkoAgentLoader.exe"}, &RunPatchStep);
}

bool CPelkoWebDLL::CheckServer(const wchar_t* server) const {
    const std::wstring serverText = TextOf(server);
    const std::wstring hostsPath = PathText::AppendBackslash(GetInstallFolder()) + L"hosts.ini";
    if (IsFile(hostsPath)) {
        CIni hosts;
        hosts.SetPathName(hostsPath.c_str());
        if (!ServerHostRule::SameServerText(hosts.GetString(L"Site", L"Url", nullptr),
                                            serverText)) {
            ShowLaunchError(LoaderTexts::kServerMismatch);
            return false;
        }
    }
    if (ServerHostRule::IsAllowedServer(serverText, DeploymentValues::kAllowedDomain1,
                                        DeploymentValues::kAllowedDomain2))
        return true;
    ShowLaunchError(LoaderTexts::WrongServerText(serverText));
    return false;
}

void CPelkoWebDLL::Launch(const LaunchCall& call, PatchStep patchStep) const {
    // An exception unwinding into the host's __thiscall call would end the host.
    try {
        LaunchChecked(call, patchStep);
    } catch (...) {
        ReportCaughtException(L"CPelkoWebDLL::Launch");
    }
}

void CPelkoWebDLL::LaunchChecked(const LaunchCall& call, PatchStep patchStep) const {
    const std::wstring server = TextOf(call.server);
    const std::wstring enc = TextOf(call.enc);
    const std::wstring entId = TextOf(call.entId);
    const std::wstring entName = TextOf(call.entName);
    // A line end in a value would add keys or sections to the settings file.
    if (!SettingsValueRule::IsPlainValue(enc) || !SettingsValueRule::IsPlainValue(entId) ||
        !SettingsValueRule::IsPlainValue(entName)) {
        ShowLaunchError(LoaderTexts::kInvalidLaunchValues);
        return;
    }
    if (!CheckServer(call.server)) return;
    bool started = false;
    const auto startLoader = [&] {
        if (started) return;
        started = true;
        WriteLoaderSettings(server, enc, entId, entName);
        LaunchLoader(call.exeName);
    };
    try {
        patchStep(server, startLoader);
    } catch (...) {
        // The loader runs on what the install folder already holds.
        ReportCaughtException(L"CPelkoWebDLL::Launch, patch step");
    }
    startLoader();
}
