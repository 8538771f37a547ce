#pragma once

#include <string>

#include "loader/PatchStep.h"
#include "pelkoweb/PelkoWebDLL.h"

// The values of one start operation as the host gave them (a null pointer counts as empty),
// and the program it starts.
struct LaunchCall {
    const wchar_t* server;
    const wchar_t* enc;
    const wchar_t* entId;
    const wchar_t* entName;
    const wchar_t* exeName;
};

// The object behind CreatePelkoWebDLLObject. It keeps no state: every call stands alone, and
// its layout is the table pointer alone.
class CPelkoWebDLL final : public IPelkoWebDLL {
public:
    CPelkoWebDLL() = default;
    ~CPelkoWebDLL() = default;

    void* PELKOWEB_THISCALL ScalarDeletingDestructor(unsigned int flags) override;
    void PELKOWEB_THISCALL StartPelkoDesk(const wchar_t* server, const wchar_t* encData) override;
    void PELKOWEB_THISCALL StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                                      const wchar_t* enterpriseName) override;
    void PELKOWEB_THISCALL StartPelkoAgent(const wchar_t* server, const wchar_t* encData) override;

    // True when the server may be served; false after telling the user why not. A hosts.ini in
    // the install folder pins the one server it accepts.
    bool CheckServer(const wchar_t* server, const std::wstring& installFolder) const;

    // What every start operation does, with the patch step given: values, install folder
    // (ChooseInstallFolder), server, patch step, settings, loader, all in that folder. Nothing
    // escapes it; a patch step that throws counts as a failed update. A settings file that
    // cannot be written whole is shown to the user, and no loader starts. What it did is kept
    // for GetPelkoWebLaunchOutcome.
    void Launch(const LaunchCall& call, PatchStep patchStep) const;

private:
    void LaunchChecked(const LaunchCall& call, PatchStep patchStep,
                       PelkoWebLaunchOutcome& outcome) const;
};
