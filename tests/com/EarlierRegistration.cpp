#include "com/EarlierRegistration.h"

#include <comcat.h>
#include <gtest/gtest.h>
#include <oleauto.h>

#include "loader/CPelkoWeb.h"
#include "loader/CPelkoWebLoaderModule.h"
#include "loader/ComRef.h"
#include "loader/IRegistrar.h"

namespace {

const std::wstring kKeys[] = {
    L"PelkoWebLoader.PelkoWeb.1",
    L"PelkoWebLoader.PelkoWeb",
    L"CLSID\\{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}",
    L"AppID\\{C5F02A7B-8E13-4A6D-B0F9-1D7E4C2A8B53}",
    L"AppID\\PelkoWebLoader.DLL",
    L"TypeLib\\{3A9D4F10-7C2E-4B85-A1D6-95E0B83C4F27}",
    L"Interface\\{4D7B2E91-6A3C-4F58-B2E1-7C9D0A5F3B64}",
};

void RunScripts(const std::wstring& dllPath) {
    ComRef<IRegistrar> registrar;
    ASSERT_EQ(CoCreateInstance(kRegistrarClassId, nullptr, CLSCTX_INPROC_SERVER,
                               kRegistrarInterfaceId, registrar.OutPointer()),
              S_OK);
    ASSERT_EQ(theModule.AddReplacements(*registrar.Get(), dllPath), S_OK);
    for (const UINT script : {CPelkoWebLoaderModule::kAppIdScript, CPelkoWeb::kRegistryScript})
        ASSERT_EQ(registrar->ResourceRegister(dllPath.c_str(), script, L"REGISTRY"), S_OK)
            << script;
}

void RegisterTypeLibrary(const std::wstring& dllPath) {
    ComRef<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, library.Out()), S_OK);
    std::wstring path = dllPath;
    ASSERT_EQ(RegisterTypeLib(library.Get(), path.data(), nullptr), S_OK);
}

void RegisterCategories() {
    ComRef<ICatRegister> categories;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICatRegister, categories.OutPointer()),
              S_OK);
    CATID implemented[] = {CPelkoWeb::kImplementedCategories[0],
                           CPelkoWeb::kImplementedCategories[1]};
    ASSERT_EQ(categories->RegisterClassImplCategories(CPelkoWeb::kClassId, 2, implemented), S_OK);
}

}  // namespace

EarlierRegistration::EarlierRegistration(const std::wstring& dllPath) {
    DeleteAll();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RunScripts(dllPath);
    RegisterTypeLibrary(dllPath);
    RegisterCategories();
    if (SUCCEEDED(com)) CoUninitialize();
}

EarlierRegistration::~EarlierRegistration() { DeleteAll(); }

std::span<const std::wstring> EarlierRegistration::Keys() { return kKeys; }

void EarlierRegistration::DeleteAll() {
    for (const std::wstring& key : kKeys) RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    for (const std::wstring& key : kKeys) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

namespace registry {

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring Value(const std::wstring& path, const std::wstring& name) {
    BYTE data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name.empty() ? nullptr : name.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, data, &size) != ERROR_SUCCESS)
        return L"(missing)";
    if (type == REG_DWORD) return L"dword:" + std::to_wstring(*reinterpret_cast<DWORD*>(data));
    return reinterpret_cast<const wchar_t*>(data);
}

size_t SubkeyCount(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return subkeys;
}

}  // namespace registry
