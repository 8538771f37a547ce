// A host compiled as MSVC compiles it (clang in MSVC mode: MSVC's object layout and calling
// conventions), against the MSVC face of the chief header, with no run-time library at all.
//
//   PelkoMsvcHost SERVER
//
// Calls StartPelko(SERVER, "msvc-id", "msvc-name") on the second of two objects, after
// "delete" on the first, then deletes the second. On 32-bit x86 its frames count on every
// thiscall callee popping its own arguments. Exit codes: 0 done, 1 usage, 2 DLL not loaded, 3 no
// factory, 4 no object.
#include "pelkoweb/PelkoWebDLL.h"

extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
__declspec(dllimport) const wchar_t* __stdcall GetCommandLineW(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
}

namespace {

// The text after the program's own (possibly quoted) name.
const wchar_t* FirstArgument(const wchar_t* line) {
    const wchar_t end = *line == L'"' ? L'"' : L' ';
    if (*line == L'"') ++line;
    while (*line != L'\0' && *line != end) ++line;
    if (*line == L'"') ++line;
    while (*line == L' ') ++line;
    return line;
}

unsigned int Run() {
    const wchar_t* server = FirstArgument(GetCommandLineW());
    if (*server == L'\0') return 1;
    void* dll = LoadLibraryW(L"PelkoWebLoader.dll");
    if (dll == nullptr) return 2;
    const auto create = reinterpret_cast<PFN_CreatePelkoWebDLLObject>(
        GetProcAddress(dll, "CreatePelkoWebDLLObject"));
    unsigned int result = 3;
    if (create != nullptr) {
        IPelkoWebDLL* first = create();
        IPelkoWebDLL* second = create();
        result = first != nullptr && second != nullptr && first != second ? 0 : 4;
        delete first;
        if (second != nullptr) second->StartPelko(server, L"msvc-id", L"msvc-name");
        delete second;
    }
    FreeLibrary(dll);
    return result;
}

}  // namespace

extern "C" void __cdecl HostEntry() { ExitProcess(Run()); }
