// PelkoWebHost desk SERVER ENC
// PelkoWebHost classic SERVER ENTID ENTNAME
// PelkoWebHost agent SERVER ENC
//
// Loads PelkoWebLoader.dll from this program's folder, calls the factory and the start
// operation, destroys the object and unloads the DLL.
// Exit codes: 0 done, 1 usage, 2 DLL not loaded, 3 factory not exported, 4 no object.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "pelkoweb/PelkoWebDLL.h"

namespace {

enum ExitCode { kDone = 0, kUsage = 1, kNoDll = 2, kNoFactory = 3, kNoObject = 4 };

struct LibraryFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

struct ObjectDeleter {
    void operator()(IPelkoWebDLL* object) const { DeletePelkoWebDLLObject(object); }
};
using UniqueObject = std::unique_ptr<IPelkoWebDLL, ObjectDeleter>;

std::wstring DllPathBesideProgram() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"PelkoWebLoader.dll";
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: PelkoWebHost desk SERVER ENC\n"
                  L"       PelkoWebHost classic SERVER ENTID ENTNAME\n"
                  L"       PelkoWebHost agent SERVER ENC\n");
    return kUsage;
}

bool IsOperation(int argc, wchar_t** argv, const wchar_t* name, int argumentCount) {
    return std::wcscmp(argv[1], name) == 0 && argc == argumentCount + 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool desk = argc > 1 && IsOperation(argc, argv, L"desk", 2);
    const bool classic = argc > 1 && IsOperation(argc, argv, L"classic", 3);
    const bool agent = argc > 1 && IsOperation(argc, argv, L"agent", 2);
    if (!desk && !classic && !agent) return Usage();

    const std::wstring dllPath = DllPathBesideProgram();
    const UniqueLibrary dll(LoadLibraryW(dllPath.c_str()));
    if (!dll) {
        std::fwprintf(stderr, L"PelkoWebHost: cannot load %ls (error %lu)\n", dllPath.c_str(),
                      GetLastError());
        return kNoDll;
    }
    const auto create = reinterpret_cast<PFN_CreatePelkoWebDLLObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "CreatePelkoWebDLLObject")));
    if (create == nullptr) {
        std::fwprintf(stderr, L"PelkoWebHost: %ls does not export CreatePelkoWebDLLObject\n",
                      dllPath.c_str());
        return kNoFactory;
    }
    const UniqueObject object(create());
    if (!object) {
        std::fwprintf(stderr, L"PelkoWebHost: CreatePelkoWebDLLObject returned no object\n");
        return kNoObject;
    }
    if (desk) object->StartPelkoDesk(argv[2], argv[3]);
    if (classic) object->StartPelko(argv[2], argv[3], argv[4]);
    if (agent) object->StartPelkoAgent(argv[2], argv[3]);
    return kDone;
}
