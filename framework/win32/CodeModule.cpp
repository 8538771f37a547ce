#include "framework/win32/CodeModule.h"

#include "framework/PathText.h"

namespace CodeModule {

HMODULE Handle() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Handle), &module);
    return module;
}

std::wstring ApplicationName() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(Handle(), path, MAX_PATH);
    std::wstring name = PathText::FileNamePart(path);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

}  // namespace CodeModule
