// PelkoWebHost desk SERVER ENC
// PelkoWebHost classic SERVER ENTID ENTNAME
// PelkoWebHost agent SERVER ENC
// PelkoWebHost "pelkoweb://desk?server=...&enc=..."   (as a browser hands over a link)
// PelkoWebHost --register | --unregister              (the pelkoweb: scheme, current user)
// PelkoWebHost --version                              (this program's and the DLL's versions)
//
// Loads PelkoWebLoader.dll from this program's folder, calls the factory and the start
// operation, destroys the object and unloads the DLL. A URL that is not exactly one of the
// three forms of SchemeUrl is refused with a message box, and nothing is loaded or called.
// Exit codes: 0 done, 1 usage, 2 DLL not loaded, 3 factory not exported, 4 no object,
// 5 URL refused, 6 registry not changed as asked, 7 the loader started but the update was
// refused (the release did not verify), 8 the loader started but the update failed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "host/SchemeRegistration.h"
#include "host/SchemeTexts.h"
#include "host/SchemeUrl.h"
#include "host/WideText.h"
#include "pelkoweb/PelkoWebDLL.h"
#include "resources/ProductVersion.h"

// Arguments are taken as written: no wildcard expansion by the C run time, which could turn
// a link's "*" and "?" into file names.
extern "C" int _dowildcard;
int _dowildcard = 0;

namespace {

enum ExitCode {
    kDone = 0,
    kUsage = 1,
    kNoDll = 2,
    kNoFactory = 3,
    kNoObject = 4,
    kRefused = 5,
    kRegistryFailed = 6,
    kUpdateRefused = 7,
    kUpdateFailed = 8,
};

using WideText::Wide;

struct LibraryFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

struct ObjectDeleter {
    void operator()(IPelkoWebDLL* object) const { DeletePelkoWebDLLObject(object); }
};
using UniqueObject = std::unique_ptr<IPelkoWebDLL, ObjectDeleter>;

using StartCall = std::function<void(IPelkoWebDLL&)>;

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

std::wstring DllPathBesideProgram() {
    std::wstring folder = ProgramPath();
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"PelkoWebLoader.dll";
}

// A program without a console of its own (so that a browser's link opens no console
// window) still reports to the console it was started from, unless its output is redirected.
void ReportToParentConsole() {
    if (GetStdHandle(STD_OUTPUT_HANDLE) != nullptr) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::FILE* ignored = nullptr;
    _wfreopen_s(&ignored, L"CONOUT$", L"w", stdout);
    _wfreopen_s(&ignored, L"CONOUT$", L"w", stderr);
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: PelkoWebHost desk SERVER ENC\n"
                  L"       PelkoWebHost classic SERVER ENTID ENTNAME\n"
                  L"       PelkoWebHost agent SERVER ENC\n"
                  L"       PelkoWebHost \"pelkoweb://desk?server=URL&enc=TEXT\"\n"
                  L"       PelkoWebHost --register | --unregister\n"
                  L"       PelkoWebHost --version\n");
    return kUsage;
}

// The file version of a module's version resource, "1.0.0.0"; empty when it has none.
std::wstring FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::wstring();
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::wstring();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof(*info))
        return std::wstring();
    wchar_t text[64];
    std::swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                  LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                  LOWORD(info->dwFileVersionLS));
    return text;
}

// What a support request needs first: which host and which component are installed.
int PrintVersion() {
    std::fwprintf(stdout, L"PelkoWebHost %ls\n", L"" PELKO_VERSION_TEXT);
    const std::wstring dllPath = DllPathBesideProgram();
    const std::wstring version = FileVersionOf(dllPath);
    std::fwprintf(stdout, L"%ls %ls\n", dllPath.c_str(),
                  version.empty() ? L"(no version found)" : version.c_str());
    return kDone;
}

// A loader that started on an install the update could not bring up to date has its own code;
// a DLL without the report (an earlier build) ends as done.
int ExitCodeOfLaunch(HMODULE dll) {
    const auto report = reinterpret_cast<PFN_GetPelkoWebLaunchOutcome>(
        reinterpret_cast<void*>(GetProcAddress(dll, "GetPelkoWebLaunchOutcome")));
    PelkoWebLaunchOutcome outcome{};
    if (report == nullptr || report(&outcome) == 0 || outcome.loaderStarted == 0) return kDone;
    if (outcome.updateResult == PELKOWEB_UPDATE_REFUSED) return kUpdateRefused;
    if (outcome.updateResult == PELKOWEB_UPDATE_FAILED) return kUpdateFailed;
    return kDone;
}

int CallComponent(const StartCall& start) {
    const std::wstring dllPath = DllPathBesideProgram();
    const UniqueLibrary dll(LoadLibraryW(dllPath.c_str()));
    if (!dll) {
        DebugOutput::DebugFormat(L"PelkoWebHost, cannot load %s, error %lu\n", dllPath.c_str(),
                                 GetLastError());
        std::fwprintf(stderr, L"PelkoWebHost: cannot load %ls (error %lu)\n", dllPath.c_str(),
                      GetLastError());
        return kNoDll;
    }
    const auto create = reinterpret_cast<PFN_CreatePelkoWebDLLObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "CreatePelkoWebDLLObject")));
    if (create == nullptr) {
        DebugOutput::DebugFormat(L"PelkoWebHost, %s does not export CreatePelkoWebDLLObject\n",
                                 dllPath.c_str());
        std::fwprintf(stderr, L"PelkoWebHost: %ls does not export CreatePelkoWebDLLObject\n",
                      dllPath.c_str());
        return kNoFactory;
    }
    const UniqueObject object(create());
    if (!object) {
        DebugOutput::DebugLine(L"PelkoWebHost, CreatePelkoWebDLLObject returned no object\n");
        std::fwprintf(stderr, L"PelkoWebHost: CreatePelkoWebDLLObject returned no object\n");
        return kNoObject;
    }
    start(*object);
    return ExitCodeOfLaunch(dll.get());
}

void ShowError(const std::u16string& text) {
    UserMessage::ShowMessageBox(nullptr, Wide(text), Wide(SchemeTexts::kErrorCaption),
                                MB_OK | MB_ICONERROR);
}

int Refuse(SchemeUrl::Refusal refusal, std::u16string_view detail) {
    ShowError(SchemeTexts::RefusalText(refusal, detail));
    return kRefused;
}

// Started from a link there is no console to read: a component that cannot be used is shown.
int CallComponentFromLink(const StartCall& start) {
    const int result = CallComponent(start);
    if (result == kNoDll || result == kNoFactory || result == kNoObject)
        ShowError(SchemeTexts::ComponentUnavailableText(WideText::Utf16(DllPathBesideProgram())));
    return result;
}

// The URL form: the browser hands the whole URL as the one argument.
int StartFromUrl(int argc, wchar_t** argv) {
    if (argc != 2) return Refuse(SchemeUrl::Refusal::ExtraArguments, {});
    const SchemeUrl::Parsed parsed = SchemeUrl::Parse(WideText::Utf16(argv[1]));
    if (parsed.refusal != SchemeUrl::Refusal::None) return Refuse(parsed.refusal, parsed.detail);
    const std::wstring server = Wide(parsed.request.server);
    const std::wstring enc = Wide(parsed.request.enc);
    const std::wstring entId = Wide(parsed.request.entId);
    const std::wstring entName = Wide(parsed.request.entName);
    switch (parsed.request.operation) {
        case SchemeUrl::Operation::Desk:
            return CallComponentFromLink(
                [&](IPelkoWebDLL& o) { o.StartPelkoDesk(server.c_str(), enc.c_str()); });
        case SchemeUrl::Operation::Classic:
            return CallComponentFromLink([&](IPelkoWebDLL& o) {
                o.StartPelko(server.c_str(), entId.c_str(), entName.c_str());
            });
        case SchemeUrl::Operation::Agent:
            return CallComponentFromLink(
                [&](IPelkoWebDLL& o) { o.StartPelkoAgent(server.c_str(), enc.c_str()); });
    }
    return kRefused;
}

bool IsOperation(int argc, wchar_t** argv, const wchar_t* name, int argumentCount) {
    return std::wcscmp(argv[1], name) == 0 && argc == argumentCount + 2;
}

int StartFromCommandLine(int argc, wchar_t** argv) {
    if (IsOperation(argc, argv, L"desk", 2))
        return CallComponent([&](IPelkoWebDLL& o) { o.StartPelkoDesk(argv[2], argv[3]); });
    if (IsOperation(argc, argv, L"classic", 3))
        return CallComponent([&](IPelkoWebDLL& o) { o.StartPelko(argv[2], argv[3], argv[4]); });
    if (IsOperation(argc, argv, L"agent", 2))
        return CallComponent([&](IPelkoWebDLL& o) { o.StartPelkoAgent(argv[2], argv[3]); });
    if (IsOperation(argc, argv, L"--register", 0))
        return SchemeRegistration::Register(ProgramPath(), stdout) ? kDone : kRegistryFailed;
    if (IsOperation(argc, argv, L"--version", 0)) return PrintVersion();
    if (IsOperation(argc, argv, L"--unregister", 0))
        return SchemeRegistration::Unregister(ProgramPath(), stdout) ? kDone : kRegistryFailed;
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && SchemeUrl::IsSchemeUrl(WideText::Utf16(argv[1])))
        return StartFromUrl(argc, argv);
    ReportToParentConsole();
    return argc > 1 ? StartFromCommandLine(argc, argv) : Usage();
}
