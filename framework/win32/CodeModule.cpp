#include "framework/win32/CodeModule.h"

#include <cstdio>
#include <cstring>

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

std::wstring BuildId() {
    const auto* base = reinterpret_cast<const BYTE*>(Handle());
    if (base == nullptr) return {};
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const auto* entries =
        reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(base + directory.VirtualAddress);
    const size_t count =
        directory.VirtualAddress == 0 ? 0 : directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY);
    for (size_t i = 0; i < count; ++i) {
        const IMAGE_DEBUG_DIRECTORY& entry = entries[i];
        // "RSDS", the 16-byte GUID, the age, the name.
        if (entry.Type != IMAGE_DEBUG_TYPE_CODEVIEW || entry.AddressOfRawData == 0 ||
            entry.SizeOfData < 24)
            continue;
        const BYTE* record = base + entry.AddressOfRawData;
        if (std::memcmp(record, "RSDS", 4) != 0) continue;
        GUID id;
        std::memcpy(&id, record + 4, sizeof id);
        wchar_t text[33];
        std::swprintf(text, 33, L"%08lx%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x",
                      static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                      id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                      id.Data4[7]);
        return text;
    }
    return {};
}

}  // namespace CodeModule
