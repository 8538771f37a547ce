// The closed COM face of PelkoWebLoader.dll: the type library read back from the DLL, the
// refused class objects and registration, the class that ends its host, and unregistration of
// an earlier build's registration, all against Wine's real registry, COM and regsvr32.
#include <windows.h>
// After windows.h, which it needs.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

#include "com/EarlierRegistration.h"
#include "loader/CPelkoWeb.h"
#include "loader/CPelkoWebLoaderApp.h"
#include "loader/CPelkoWebLoaderModule.h"
#include "loader/ComRef.h"
#include "loader/ComRefusal.h"
#include "support/common/TestFolder.h"
#include "support/fakeloaders/LoaderRecord.h"
#include "support/ui/MessageBoxWatcher.h"

namespace {

constexpr DWORD kWaitMs = 60000;
constexpr IID kPelkoWebInterfaceId = {
    0x4D7B2E91, 0x6A3C, 0x4F58, {0xB2, 0xE1, 0x7C, 0x9D, 0x0A, 0x5F, 0x3B, 0x64}};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring DllPath() { return ProgramFolder() + L"PelkoWebLoader.dll"; }

// Owns a BSTR.
class Text {
public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(m_text); }
    BSTR* Out() { return &m_text; }
    std::wstring Value() const { return m_text == nullptr ? L"" : m_text; }

private:
    BSTR m_text = nullptr;
};

// Type-library strings are stored in a code page and read with the system's ANSI code page. The
// library stores code page 949, so a Korean system shows the Korean text; here the stored bytes
// are recovered through this system's code page and read as a Korean system reads them.
std::wstring AsOnKoreanSystem(const std::wstring& loaded) {
    std::string stored(loaded.size() * 2, '\0');
    stored.resize(static_cast<size_t>(
        WideCharToMultiByte(CP_ACP, 0, loaded.data(), static_cast<int>(loaded.size()),
                            stored.data(), static_cast<int>(stored.size()), nullptr, nullptr)));
    std::wstring korean(stored.size(), L'\0');
    korean.resize(static_cast<size_t>(MultiByteToWideChar(
        949, MB_ERR_INVALID_CHARS, stored.data(), static_cast<int>(stored.size()), korean.data(),
        static_cast<int>(korean.size()))));
    return korean;
}

struct Documentation {
    std::wstring name;
    std::wstring help;
};

Documentation DocumentationOf(ITypeLib& library, INT index) {
    Text name, help;
    EXPECT_EQ(library.GetDocumentation(index, name.Out(), help.Out(), nullptr, nullptr), S_OK);
    return {name.Value(), AsOnKoreanSystem(help.Value())};
}

Documentation DocumentationOf(ITypeInfo& type, MEMBERID member) {
    Text name, help;
    EXPECT_EQ(type.GetDocumentation(member, name.Out(), help.Out(), nullptr, nullptr), S_OK);
    return {name.Value(), AsOnKoreanSystem(help.Value())};
}

// Attributes of a type, copied so that nothing has to be given back.
TYPEATTR AttributesOf(ITypeInfo& type) {
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(type.GetTypeAttr(&attributes), S_OK);
    if (attributes == nullptr) return {};
    const TYPEATTR copy = *attributes;
    type.ReleaseTypeAttr(attributes);
    return copy;
}

std::vector<std::wstring> NamesOf(ITypeInfo& type, MEMBERID member) {
    BSTR names[8] = {};
    UINT count = 0;
    EXPECT_EQ(type.GetNames(member, names, 8, &count), S_OK);
    std::vector<std::wstring> result;
    for (UINT i = 0; i < count; ++i) {
        result.push_back(names[i]);
        SysFreeString(names[i]);
    }
    return result;
}

std::wstring ReferencedName(ITypeInfo& type, INT implementation) {
    HREFTYPE reference = 0;
    EXPECT_EQ(type.GetRefTypeOfImplType(static_cast<UINT>(implementation), &reference), S_OK);
    ComRef<ITypeInfo> referenced;
    EXPECT_EQ(type.GetRefTypeInfo(reference, referenced.Out()), S_OK);
    if (referenced.Get() == nullptr) return L"";
    Text name;
    referenced->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
    return name.Value();
}

HMODULE LoadDll(const std::wstring& path) {
    const HMODULE dll = LoadLibraryW(path.c_str());
    EXPECT_NE(dll, nullptr) << Utf8(path);
    return dll;
}

template <class Function>
Function Export(HMODULE dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

using UnregisterFunction = HRESULT(STDAPICALLTYPE*)();

HRESULT UnregisterThrough(const std::wstring& dllPath) {
    const HMODULE dll = LoadDll(dllPath);
    if (dll == nullptr) return E_FAIL;
    const auto unregister = Export<UnregisterFunction>(dll, "DllUnregisterServer");
    const HRESULT result = unregister != nullptr ? unregister() : E_NOINTERFACE;
    FreeLibrary(dll);
    return result;
}

struct ProcessRun {
    DWORD exitCode = 0;
    std::vector<SeenMessageBox> boxes;
};

// Runs a program, reads and closes its message boxes, and waits for its end.
std::optional<ProcessRun> RunWatched(const std::wstring& commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << Utf8(commandLine);
        return std::nullopt;
    }
    ProcessRun run;
    {
        MessageBoxWatcher watcher(process.dwProcessId);
        if (WaitForSingleObject(process.hProcess, kWaitMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            ADD_FAILURE() << "still running: " << Utf8(commandLine);
        }
        run.boxes = watcher.Seen();
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

void ExpectRefusalBox(const std::vector<SeenMessageBox>& boxes, const wchar_t* text) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"ERROR");
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_FALSE(boxes[0].hasIcon);
}

void ExpectNothingRegistered() {
    for (const std::wstring& key : EarlierRegistration::Keys())
        EXPECT_FALSE(registry::KeyExists(key)) << Utf8(key);
}

struct Method {
    MEMBERID id;
    std::vector<std::wstring> names;  // method, then parameters
    std::wstring help;
};

const Method kMethods[] = {
    {1, {L"StartPelkoDesk", L"bstrServer", L"bstrEncData"}, L"메서드 StartPelkoDesk"},
    {2,
     {L"StartPelko", L"bstrServer", L"bstrEnterpriseID", L"bstrEnterpriseName"},
     L"메서드 StartPelko"},
    {3, {L"StartPelkoAgent", L"bstrServer", L"bstrEncData"}, L"메서드 StartPelkoAgent"},
    {4, {L"PelkoDesk", L"bstrServer", L"bstrEncData"}, L"메서드 PelkoDesk"},
    {5, {L"Pelko", L"bstrServer", L"bstrEnterpriseID", L"bstrEnterpriseName"}, L"메서드 Pelko"},
    {6, {L"PelkoAgent", L"bstrServer", L"bstrEncData"}, L"메서드 PelkoAgent"},
};

TEST(ComTypeLibrary, LoadsFromTheDllWithoutRegisteringAndReadsBack) {
    EarlierRegistration::DeleteAll();
    ComRef<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, library.Out()), S_OK);
    EXPECT_FALSE(registry::KeyExists(L"TypeLib\\{3A9D4F10-7C2E-4B85-A1D6-95E0B83C4F27}"));

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CPelkoWebLoaderModule::kLibId));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x409u);
    // Described for the platform of the DLL that carries it, as MIDL would for each build.
#if defined(_WIN64)
    EXPECT_EQ(attributes->syskind, SYS_WIN64);
#else
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
#endif
    library->ReleaseTLibAttr(attributes);
    const Documentation libraryText = DocumentationOf(*library.Get(), -1);
    EXPECT_EQ(libraryText.name, L"PelkoWebLoaderLib");
    EXPECT_EQ(libraryText.help, L"PelkoWebLoader 1.0 형식 라이브러리") << Utf8(libraryText.help);
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);

    ComRef<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CPelkoWeb::kClassId, coclass.Out()), S_OK);
    const TYPEATTR classAttributes = AttributesOf(*coclass.Get());
    EXPECT_EQ(classAttributes.typekind, TKIND_COCLASS);
    EXPECT_EQ(classAttributes.wTypeFlags, TYPEFLAG_FCANCREATE);
    ASSERT_EQ(classAttributes.cImplTypes, 1);
    INT implementationFlags = 0;
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &implementationFlags), S_OK);
    EXPECT_EQ(implementationFlags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(ReferencedName(*coclass.Get(), 0), L"IPelkoWeb");
    const Documentation classText = DocumentationOf(*coclass.Get(), MEMBERID_NIL);
    EXPECT_EQ(classText.name, L"PelkoWeb");
    EXPECT_EQ(classText.help, L"PelkoWeb Class");

    // A dual interface reads as a dispatch interface whose vtable half is the real interface.
    ComRef<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kPelkoWebInterfaceId, dispatch.Out()), S_OK);
    const TYPEATTR dispatchAttributes = AttributesOf(*dispatch.Get());
    EXPECT_EQ(dispatchAttributes.typekind, TKIND_DISPATCH);
    constexpr WORD kDualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(dispatchAttributes.wTypeFlags, kDualFlags);
    const Documentation interfaceText = DocumentationOf(*dispatch.Get(), MEMBERID_NIL);
    EXPECT_EQ(interfaceText.name, L"IPelkoWeb");
    EXPECT_EQ(interfaceText.help, L"IPelkoWeb 인터페이스") << Utf8(interfaceText.help);

    HREFTYPE vtableHalf = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf), S_OK);
    ComRef<ITypeInfo> vtable;
    ASSERT_EQ(dispatch->GetRefTypeInfo(vtableHalf, vtable.Out()), S_OK);
    const TYPEATTR vtableAttributes = AttributesOf(*vtable.Get());
    EXPECT_EQ(vtableAttributes.typekind, TKIND_INTERFACE);
    EXPECT_EQ(vtableAttributes.wTypeFlags, kDualFlags | TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(ReferencedName(*vtable.Get(), 0), L"IDispatch");
    ASSERT_EQ(vtableAttributes.cFuncs, std::size(kMethods));
    EXPECT_EQ(vtableAttributes.cbSizeVft, (7 + std::size(kMethods)) * sizeof(void*));

    for (UINT slot = 0; slot < std::size(kMethods); ++slot) {
        const Method& method = kMethods[slot];
        SCOPED_TRACE(Utf8(method.names[0]));
        FUNCDESC* function = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(slot, &function), S_OK);
        EXPECT_EQ(function->memid, method.id);
        EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + slot) * sizeof(void*)));
        EXPECT_EQ(function->invkind, INVOKE_FUNC);
        EXPECT_EQ(function->callconv, CC_STDCALL);
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        ASSERT_EQ(static_cast<size_t>(function->cParams), method.names.size() - 1);
        for (SHORT i = 0; i < function->cParams; ++i) {
            EXPECT_EQ(function->lprgelemdescParam[i].tdesc.vt, VT_BSTR);
            EXPECT_EQ(function->lprgelemdescParam[i].paramdesc.wParamFlags, PARAMFLAG_FIN);
        }
        vtable->ReleaseFuncDesc(function);
        EXPECT_EQ(NamesOf(*vtable.Get(), method.id), method.names);
        const Documentation methodText = DocumentationOf(*vtable.Get(), method.id);
        EXPECT_EQ(methodText.help, method.help) << Utf8(methodText.help);
    }
}

TEST(ComExports, ClassObjectRequestsAreRefusedWithABoxAndANullPointer) {
    const HMODULE dll = LoadDll(DllPath());
    ASSERT_NE(dll, nullptr);
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = Export<GetClassObjectFunction>(dll, "DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    {
        MessageBoxWatcher watcher;
        void* object = reinterpret_cast<void*>(0x5a5a5a5a);
        EXPECT_EQ(getClassObject(CPelkoWeb::kClassId, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(getClassObject(CPelkoWeb::kClassId, IID_IClassFactory, nullptr),
                  CLASS_E_CLASSNOTAVAILABLE);
        ASSERT_TRUE(watcher.WaitForBoxes(2, kWaitMs));
        for (const SeenMessageBox& box : watcher.Seen())
            ExpectRefusalBox({box}, ComRefusal::kClassObjectRefused);
    }
    FreeLibrary(dll);
}

TEST(ComExports, UnloadingIsAllowedWhileNothingHoldsTheModule) {
    const HMODULE dll = LoadDll(DllPath());
    ASSERT_NE(dll, nullptr);
    const auto canUnloadNow = Export<UnregisterFunction>(dll, "DllCanUnloadNow");
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(dll);

    // The same module class, linked into this program, with a lock held.
    EXPECT_EQ(theModule.Lock(), 1);
    EXPECT_EQ(theModule.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(theModule.Unlock(), 0);
    EXPECT_EQ(theModule.CanUnloadNow(), S_OK);
}

TEST(ComFace, RegistrationAndConstructionEndTheHostThroughExitWritingNothing) {
    EarlierRegistration::DeleteAll();
    testsupport::TestFolder folder;
    const std::wstring probe = L"\"" + ProgramFolder() + L"ComProbe.exe\" ";
    const std::wstring dll = L"\"" + DllPath() + L"\"";
    struct Ending {
        const char* what;
        std::wstring commandLine;
        const wchar_t* text;
        bool exitHandlersSeen;  // only for the probe, which installs one
    };
    const Ending endings[] = {
        {"regsvr32", L"regsvr32.exe " + dll, ComRefusal::kRegisterRefused, false},
        {"DllRegisterServer", probe + L"register " + dll + L" \"" + folder / L"register" + L"\"",
         ComRefusal::kRegisterRefused, true},
        {"construction", probe + L"construct \"" + folder / L"construct" + L"\"",
         ComRefusal::kConstructionRefused, true},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.what);
        const auto run = RunWatched(ending.commandLine);
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(run->exitCode, static_cast<DWORD>(-1));
        ExpectRefusalBox(run->boxes, ending.text);
        ExpectNothingRegistered();
    }
    EXPECT_NE(GetFileAttributesW((folder / L"register").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((folder / L"construct").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ComRegistration, EarlierRegistrationIsRefusedAtCreationAndRemovedByUnregistration) {
    {
        EarlierRegistration earlier(DllPath());
        const std::wstring classKey = L"CLSID\\{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}";
        for (const std::wstring& key : EarlierRegistration::Keys())
            ASSERT_TRUE(registry::KeyExists(key)) << Utf8(key);
        EXPECT_EQ(registry::SubkeyCount(classKey + L"\\Implemented Categories"), 2u);

        // The host goes on: CoCreateInstance fails without an object and the probe returns.
        const auto run = RunWatched(L"\"" + ProgramFolder() + L"ComProbe.exe\" create");
        ASSERT_TRUE(run.has_value());
        ExpectRefusalBox(run->boxes, ComRefusal::kClassObjectRefused);
        EXPECT_EQ(run->exitCode, 0u) << std::hex << run->exitCode;

        EXPECT_EQ(UnregisterThrough(DllPath()), S_OK);
        ExpectNothingRegistered();
        EXPECT_TRUE(registry::KeyExists(L"AppID"));
        EXPECT_TRUE(registry::KeyExists(L"CLSID"));
        // The registrar's own class, beside ours, stays.
        EXPECT_TRUE(registry::KeyExists(L"CLSID\\{44EC053A-400F-11D0-9DCD-00A0C90391D3}"));
    }
    // With nothing registered, the category manager's failure for the missing class key is the
    // first failure, and the answer.
    EXPECT_EQ(UnregisterThrough(DllPath()), E_FAIL);
    ExpectNothingRegistered();
}

TEST(ComRegistration, ScriptsWriteTheKeysAndValuesOfTheClassAndItsAppId) {
    EarlierRegistration earlier(DllPath());
    const std::wstring classKey = L"CLSID\\{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}";
    const std::wstring appIdKey = L"AppID\\{C5F02A7B-8E13-4A6D-B0F9-1D7E4C2A8B53}";
    struct Entry {
        std::wstring key;
        std::wstring name;  // empty: the default value
        std::wstring data;
    };
    const Entry entries[] = {
        {appIdKey, L"", L"PelkoWebLoader"},
        {appIdKey, L"DllSurrogate", L""},
        {L"AppID\\PelkoWebLoader.DLL", L"AppID", CPelkoWebLoaderModule::kAppIdText},
        {L"PelkoWebLoader.PelkoWeb.1", L"", L"PelkoWeb Class"},
        {L"PelkoWebLoader.PelkoWeb.1\\CLSID", L"", L"{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}"},
        {L"PelkoWebLoader.PelkoWeb", L"", L"PelkoWeb Class"},
        {L"PelkoWebLoader.PelkoWeb\\CLSID", L"", L"{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}"},
        {L"PelkoWebLoader.PelkoWeb\\CurVer", L"", L"PelkoWebLoader.PelkoWeb.1"},
        {classKey, L"", L"PelkoWeb Class"},
        {classKey + L"\\ProgID", L"", L"PelkoWebLoader.PelkoWeb.1"},
        {classKey + L"\\VersionIndependentProgID", L"", L"PelkoWebLoader.PelkoWeb"},
        {classKey + L"\\InprocServer32", L"", DllPath()},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey, L"AppID", CPelkoWebLoaderModule::kAppIdText},
        {classKey + L"\\Elevation", L"Enabled", L"dword:1"},
        {classKey, L"LocalizedString", L"@" + DllPath() + L",-101"},
        {classKey + L"\\TypeLib", L"", L"{3A9D4F10-7C2E-4B85-A1D6-95E0B83C4F27}"},
    };
    for (const Entry& entry : entries)
        EXPECT_EQ(registry::Value(entry.key, entry.name), entry.data)
            << Utf8(entry.key) << " " << Utf8(entry.name);
    EXPECT_TRUE(registry::KeyExists(classKey + L"\\Programmable"));

    // The string the class's localized name points to, and the version resource.
    const HMODULE dll = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    wchar_t text[64] = {};
    EXPECT_EQ(std::wstring(text, LoadStringW(dll, 100, text, 64)), L"PelkoWebLoader");
    EXPECT_EQ(std::wstring(text, LoadStringW(dll, 101, text, 64)), L"Pelko");
    FreeLibrary(dll);
    const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), nullptr);
    std::vector<BYTE> version(size);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, version.data()));
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_EQ(std::wstring(product), L"PelkoWebLoader");
}

TEST(ComRegistration, UnregistrationWorksFromAFolderWithAQuoteInItsName) {
    testsupport::TestFolder folder;
    const std::wstring quoted = folder / L"it's here\\";
    ASSERT_TRUE(CreateDirectoryW(quoted.c_str(), nullptr));
    const std::wstring copy = quoted + L"PelkoWebLoader.dll";
    ASSERT_TRUE(CopyFileW(DllPath().c_str(), copy.c_str(), FALSE));
    {
        EarlierRegistration earlier(copy);
        EXPECT_EQ(
            registry::Value(L"CLSID\\{6B1E3C52-0F7A-4D19-9E84-2A5C71D03F6E}\\InprocServer32", L""),
            copy);
        EXPECT_EQ(UnregisterThrough(copy), S_OK);
        ExpectNothingRegistered();
    }
}

TEST(ComApplication, NameIsTheModuleFileNameWithoutExtension) {
    EXPECT_EQ(theApp.AppName(), L"com_tests");
}

}  // namespace
