#pragma once

#include <string>

#include "pelkoweb/PelkoWebDLL.h"

// The object behind CreatePelkoWebDLLObject. It keeps no state: every call stands alone.
class CPelkoWebDLL final : public IPelkoWebDLL {
public:
    CPelkoWebDLL() = default;
    ~CPelkoWebDLL() = default;

    void* PELKOWEB_THISCALL ScalarDeletingDestructor(unsigned int flags) override;
    void PELKOWEB_THISCALL StartPelkoDesk(const wchar_t* server, const wchar_t* encData) override;
    void PELKOWEB_THISCALL StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                                      const wchar_t* enterpriseName) override;
    void PELKOWEB_THISCALL StartPelkoAgent(const wchar_t* server, const wchar_t* encData) override;

    // True when the server may be served; false after telling the user why not. Creates the
    // install folder in either case.
    bool CheckServer(const wchar_t* server) const;

private:
    void Launch(const std::wstring& server, const std::wstring& enc, const std::wstring& entId,
                const std::wstring& entName, const wchar_t* exeName) const;
};
