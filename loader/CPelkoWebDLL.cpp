#include "loader/CPelkoWebDLL.h"

#include <windows.h>

#include "config/DeploymentValues.h"
#include "download/ServerHostRule.h"
#include "framework/PathText.h"
#include "framework/SystemError.h"
#include "framework/win32/CodeModule.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UserMessage.h"
#include "loader/InstallFolderTrust.h"
#include "loader/LaunchOutcome.h"
#include "loader/LoaderProcess.h"
#include "loader/LoaderSettings.h"
#include "loader/LoaderTexts.h"
#include "loader/PatchStep.h"
#include "loader/SettingsValueRule.h"
#include "resources/ProductVersion.h"
#include "support/CIni.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CInstalledRelease.h"

static_assert(static_cast<int>(UpdateResult::Current) == PELKOWEB_UPDATE_CURRENT &&
                  static_cast<int>(UpdateResult::Updated) == PELKOWEB_UPDATE_UPDATED &&
                  static_cast<int>(UpdateResult::Postponed) == PELKOWEB_UPDATE_POSTPONED &&
                  static_cast<int>(UpdateResult::NotOffered) == PELKOWEB_UPDATE_NOT_OFFERED &&
                  static_cast<int>(UpdateResult::Refused) == PELKOWEB_UPDATE_REFUSED &&
                  static_cast<int>(UpdateResult::Failed) == PELKOWEB_UPDATE_FAILED,
              "the host interface numbers the results as the engine does");

namespace {

using bcl::common::exception::ReportCaughtException;
using DebugOutput::DebugFormat;

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

// A loader that found another launch's values (another user's, on a shared machine) would
// run for the wrong account: without this launch's settings no loader starts.
bool SettingsWritten(const std::wstring& installFolder, const std::wstring& server,
                     const std::wstring& enc, const std::wstring& entId,
                     const std::wstring& entName, const UpdateOutcome& outcome,
                     const wchar_t* exeName) {
    const DWORD code = WriteLoaderSettings(installFolder, server, enc, entId, entName, outcome);
    if (code == ERROR_SUCCESS) return true;
    DebugFormat(L"CPelkoWebDLL::Launch, the settings file was not written: %s is not started\n",
                exeName);
    UserMessage::ShowMessageBox(nullptr,
                                LoaderTexts::SettingsFailureText(LoaderSettingsPath(installFolder),
                                                                 code, SystemError::Text(code)),
                                CodeModule::ApplicationName(), MB_OK | MB_ICONERROR);
    return false;
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

bool CPelkoWebDLL::CheckServer(const wchar_t* server, const std::wstring& installFolder) const {
    const std::wstring serverText = TextOf(server);
    const std::wstring hostsPath = PathText::AppendBackslash(installFolder) + L"hosts.ini";
    if (IsFile(hostsPath)) {
        CIni hosts;
        hosts.SetPathName(hostsPath.c_str());
        if (!ServerHostRule::SameServerText(hosts.GetString(L"Site", L"Url", nullptr),
                                            serverText)) {
            DebugFormat(L"CPelkoWebDLL::CheckServer, refused: not the Url of %s\n",
                        hostsPath.c_str());
            ShowLaunchError(LoaderTexts::kServerMismatch);
            return false;
        }
    }
    if (ServerHostRule::IsAllowedServer(serverText, DeploymentValues::kAllowedDomain1,
                                        DeploymentValues::kAllowedDomain2,
                                        DeploymentValues::kRequireHttps)) {
        DebugFormat(L"CPelkoWebDLL::CheckServer, allowed: %s\n", serverText.c_str());
        return true;
    }
    DebugFormat(L"CPelkoWebDLL::CheckServer, refused: host not in the allowed domains: %s\n",
                ServerHostRule::WithoutUserInfo(serverText).c_str());
    ShowLaunchError(LoaderTexts::WrongServerText(serverText));
    return false;
}

void CPelkoWebDLL::Launch(const LaunchCall& call, PatchStep patchStep) const {
    const ULONGLONG started = GetTickCount64();
    // The run's first line names the binary, so that a log sent in names the symbols to read.
    DebugFormat(L"CPelkoWebDLL::Launch, start for %s, PelkoWebLoader %s, build %s%s\n",
                call.exeName, L"" PELKO_VERSION_TEXT, CodeModule::BuildId().c_str(),
                PELKO_TEST_BUILD ? L", test build" : L"");
    PelkoWebLaunchOutcome outcome{};
    // An exception unwinding into the host's __thiscall call would end the host.
    try {
        LaunchChecked(call, patchStep, outcome);
    } catch (...) {
        ReportCaughtException(L"CPelkoWebDLL::Launch");
    }
    LaunchOutcome::Record(outcome);
    DebugFormat(L"CPelkoWebDLL::Launch, run ended after %I64u ms\n", GetTickCount64() - started);
}

void CPelkoWebDLL::LaunchChecked(const LaunchCall& call, PatchStep patchStep,
                                 PelkoWebLaunchOutcome& outcome) const {
    const std::wstring server = TextOf(call.server);
    const std::wstring enc = TextOf(call.enc);
    const std::wstring entId = TextOf(call.entId);
    const std::wstring entName = TextOf(call.entName);
    // A line end in a value would add keys or sections to the settings file.
    if (!SettingsValueRule::IsPlainValue(enc) || !SettingsValueRule::IsPlainValue(entId) ||
        !SettingsValueRule::IsPlainValue(entName)) {
        DebugFormat(L"CPelkoWebDLL::Launch, refused: a launch value holds a control character\n");
        ShowLaunchError(LoaderTexts::kInvalidLaunchValues);
        return;
    }
    // Nothing is updated from, or started out of, a folder that another user may change.
    const std::optional<std::wstring> chosen = ChooseInstallFolder();
    if (!chosen) return;
    const std::wstring& folder = *chosen;
    if (!CheckServer(call.server, folder)) return;
    bool started = false;
    const auto startLoader = [&](const UpdateOutcome& update) {
        if (started) return;
        started = true;
        outcome.updateResult = static_cast<int>(update.result);
        DebugFormat(L"CPelkoWebDLL::Launch, update %s, release %s\n",
                    UpdateOutcomeText::ResultName(update.result).c_str(),
                    update.releaseSerial ? std::to_wstring(*update.releaseSerial).c_str() : L"-");
        if (SettingsWritten(folder, server, enc, entId, entName, update, call.exeName))
            outcome.loaderStarted = LaunchLoader(folder, call.exeName) ? 1 : 0;
    };
    const ULONGLONG patchStarted = GetTickCount64();
    try {
        // A user who may not change the install folder runs what it holds.
        if (FolderSecurity::CanCreateFilesIn(folder))
            patchStep(server, folder, startLoader);
        else
            DebugOutput::DebugLine(
                L"CPelkoWebDLL::Launch, this user may not change the install folder: no update, "
                L"the installed version starts\n");
        DebugFormat(L"CPelkoWebDLL::Launch, patch step ended after %I64u ms\n",
                    GetTickCount64() - patchStarted);
    } catch (...) {
        // The loader runs on what the install folder already holds.
        ReportCaughtException(L"CPelkoWebDLL::Launch, patch step");
    }
    // No update ran to its end: the loader starts on what the install folder holds.
    if (!started)
        startLoader(UpdateOutcome{UpdateResult::Failed,
                                  CInstalledRelease::OfInstallFolder(folder)});
}
