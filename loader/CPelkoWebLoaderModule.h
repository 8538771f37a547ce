#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "loader/ComClassEntry.h"

struct IRegistrar;

// The component's COM module: its lock count, its identifiers, its object map and the
// unregistration of everything an earlier registration wrote.
class CPelkoWebLoaderModule {
public:
    static constexpr GUID kLibId = {
        0x3A9D4F10, 0x7C2E, 0x4B85, {0xA1, 0xD6, 0x95, 0xE0, 0xB8, 0x3C, 0x4F, 0x27}};
    static constexpr GUID kAppId = {
        0xC5F02A7B, 0x8E13, 0x4A6D, {0xB0, 0xF9, 0x1D, 0x7E, 0x4C, 0x2A, 0x8B, 0x53}};
    static constexpr wchar_t kAppIdText[] = L"{C5F02A7B-8E13-4A6D-B0F9-1D7E4C2A8B53}";
    static constexpr UINT kAppIdScript = 101;

    LONG Lock();
    LONG Unlock();
    LONG GetLockCount() const;
    // S_OK while nothing holds the module, else S_FALSE.
    HRESULT CanUnloadNow() const;

    std::span<const ComClassEntry> ObjectMap() const;

    // Under the system default locale: for each class its categories and its script, then the
    // type library, then (when all went well) the AppID script. S_OK or the first failure.
    HRESULT UnregisterServer() const;

    // Runs registry script `id` of this module in unregistration mode.
    HRESULT UnregisterScript(UINT id) const;
    // "MODULE", the module's path quoted for a script's string, and the common replacements.
    HRESULT AddReplacements(IRegistrar& registrar, const std::wstring& modulePath) const;
    // "APPID", which every script of the module may use.
    HRESULT AddCommonRGSReplacements(IRegistrar& registrar) const;

    // Full path of the module holding this code (the component's DLL).
    static std::wstring ModulePath();

private:
    static HRESULT UnregisterCategories(const ComClassEntry& entry);
    static HRESULT UnregisterTypeLibrary();

    LONG volatile m_lockCount = 0;
};

extern CPelkoWebLoaderModule theModule;
