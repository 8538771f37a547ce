// A host process for the COM face:
//   ComProbe construct MARKER    makes CPelkoWeb through the object map
//   ComProbe register DLL MARKER calls the DLL's DllRegisterServer
//   ComProbe create              CoCreateInstance of the class: exits with 0 when it failed
//                                without an object, prints its result
// MARKER is a file that an exit handler creates, to show that the process ended through the run
// time's exit.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "loader/CPelkoWeb.h"
#include "loader/CPelkoWebLoaderModule.h"

namespace {

std::wstring g_marker;

void CreateMarker() {
    const HANDLE file = CreateFileW(g_marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void OnExitCreate(const wchar_t* marker) {
    g_marker = marker;
    std::atexit(CreateMarker);
}

int Construct() {
    void* object = nullptr;
    theModule.ObjectMap()[0].createInstance(nullptr, IID_IUnknown, &object);
    return 2;
}

int Register(const wchar_t* dll) {
    const HMODULE module = LoadLibraryW(dll);
    if (module == nullptr) return 3;
    const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    if (entry == nullptr) return 4;
    entry();
    return 5;
}

int Create() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IUnknown* object = nullptr;
    const HRESULT result = CoCreateInstance(CPelkoWeb::kClassId, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IUnknown, reinterpret_cast<void**>(&object));
    std::printf("CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(result));
    const bool refused = FAILED(result) && object == nullptr;
    if (object != nullptr) object->Release();
    CoUninitialize();
    return refused ? 0 : 6;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"construct" && argc == 3) {
        OnExitCreate(argv[2]);
        return Construct();
    }
    if (mode == L"register" && argc == 4) {
        OnExitCreate(argv[3]);
        return Register(argv[2]);
    }
    if (mode == L"create") return Create();
    return 1;
}
