#include "loader/CPelkoWebLoaderModule.h"

#include <comcat.h>
#include <oleauto.h>

#include "framework/win32/CodeModule.h"
#include "loader/CPelkoWeb.h"
#include "loader/ComRef.h"
#include "loader/IRegistrar.h"

CPelkoWebLoaderModule theModule;

namespace {

constexpr ComClassEntry kObjectMap[] = {CPelkoWeb::ObjectMapEntry()};

constexpr wchar_t kScriptType[] = L"REGISTRY";

// Switches the calling thread to a locale for the length of a scope.
class ThreadLocaleScope {
public:
    explicit ThreadLocaleScope(LCID locale) : m_previous(GetThreadLocale()) {
        SetThreadLocale(locale);
    }
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;
    ~ThreadLocaleScope() { SetThreadLocale(m_previous); }

private:
    const LCID m_previous;
};

// COM for a caller that has not initialised it on this thread; a caller's own apartment, of
// whatever kind, is kept as it is.
class ComScope {
public:
    ComScope() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (m_initialised) CoUninitialize();
    }

private:
    const bool m_initialised;
};

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Inside a script's quoted string a quote is written twice.
std::wstring ScriptQuoted(const std::wstring& text) {
    std::wstring quoted;
    for (const wchar_t c : text) {
        quoted += c;
        if (c == L'\'') quoted += c;
    }
    return quoted;
}

void DeleteKeyIfEmpty(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    const LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && subkeys == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

std::wstring WithExtension(const std::wstring& path, const wchar_t* extension) {
    const size_t dot = path.find_last_of(L".\\/");
    const bool hasExtension = dot != std::wstring::npos && path[dot] == L'.';
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

}  // namespace

LONG CPelkoWebLoaderModule::Lock() { return InterlockedIncrement(&m_lockCount); }

LONG CPelkoWebLoaderModule::Unlock() { return InterlockedDecrement(&m_lockCount); }

LONG CPelkoWebLoaderModule::GetLockCount() const { return m_lockCount; }

HRESULT CPelkoWebLoaderModule::CanUnloadNow() const { return GetLockCount() == 0 ? S_OK : S_FALSE; }

std::span<const ComClassEntry> CPelkoWebLoaderModule::ObjectMap() const { return kObjectMap; }

HRESULT CPelkoWebLoaderModule::UnregisterServer() const {
    ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
    ComScope com;
    for (const ComClassEntry& entry : ObjectMap()) {
        HRESULT result = UnregisterCategories(entry);
        if (FAILED(result)) return result;
        result = UnregisterScript(entry.registryScript);
        if (FAILED(result)) return result;
    }
    const HRESULT result = UnregisterTypeLibrary();
    if (FAILED(result)) return result;
    return UnregisterScript(kAppIdScript);
}

HRESULT CPelkoWebLoaderModule::UnregisterScript(UINT id) const {
    const std::wstring module = ModulePath();
    if (module.empty()) return LastErrorResult();
    ComRef<IRegistrar> registrar;
    HRESULT result = CoCreateInstance(kRegistrarClassId, nullptr, CLSCTX_INPROC_SERVER,
                                      kRegistrarInterfaceId, registrar.OutPointer());
    if (FAILED(result)) return result;
    result = AddReplacements(*registrar.Get(), module);
    if (FAILED(result)) return result;
    return registrar->ResourceUnregister(module.c_str(), id, kScriptType);
}

HRESULT CPelkoWebLoaderModule::AddReplacements(IRegistrar& registrar,
                                               const std::wstring& modulePath) const {
    const HRESULT result = registrar.AddReplacement(L"MODULE", ScriptQuoted(modulePath).c_str());
    if (FAILED(result)) return result;
    return AddCommonRGSReplacements(registrar);
}

HRESULT CPelkoWebLoaderModule::AddCommonRGSReplacements(IRegistrar& registrar) const {
    return registrar.AddReplacement(L"APPID", kAppIdText);
}

std::wstring CPelkoWebLoaderModule::ModulePath() { return CodeModule::FilePath(); }

HRESULT CPelkoWebLoaderModule::UnregisterCategories(const ComClassEntry& entry) {
    ComRef<ICatRegister> categories;
    HRESULT result =
        CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                         IID_ICatRegister, categories.OutPointer());
    if (FAILED(result)) return result;
    result = categories->UnRegisterClassImplCategories(
        entry.classId, static_cast<ULONG>(entry.implementedCategories.size()),
        const_cast<CATID*>(entry.implementedCategories.data()));
    if (FAILED(result)) return result;
    const std::wstring classKey = L"CLSID\\" + GuidText(entry.classId);
    DeleteKeyIfEmpty(classKey + L"\\Implemented Categories");
    DeleteKeyIfEmpty(classKey + L"\\Required Categories");
    return S_OK;
}

HRESULT CPelkoWebLoaderModule::UnregisterTypeLibrary() {
    const std::wstring module = ModulePath();
    if (module.empty()) return LastErrorResult();
    ComRef<ITypeLib> library;
    HRESULT result = LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.Out());
    if (FAILED(result))
        result = LoadTypeLibEx(WithExtension(module, L".tlb").c_str(), REGKIND_NONE, library.Out());
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library->GetLibAttr(&attributes);
    if (FAILED(result)) return result;
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                             copy.syskind);
}
