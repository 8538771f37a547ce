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

std::wstring FilePath() {
    // Long paths: grow the buffer until the name fits.
    for (DWORD room = MAX_PATH; room <= 32768; room *= 2) {
        std::wstring path(room, L'\0');
        const DWORD length = GetModuleFileNameW(Handle(), path.data(), room);
        if (length == 0) return {};
        if (length < room) return path.substr(0, length);
    }
    return {};
}

std::wstring ApplicationName() {
    std::wstring name = PathText::FileNamePart(FilePath());
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

}  // namespace CodeModule
