#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <aclapi.h>

#include <string>
#include <thread>

#include "UpdateTestFiles.h"
#include "framework/win32/FolderSecurity.h"
#include "update/RegisterServer.h"

namespace {

using updatetest::CopyTestDll;
using updatetest::RegistrationCount;
using updatetest::RegistrationLog;
using updatetest::TestFolder;

// True when nothing left OLE initialised on this thread.
bool OleUninitialised() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) CoUninitialize();
    return result == S_OK;
}

TEST(RegisterServer, CallsTheEntryPointWithOleAndUnloadsTheDll) {
    TestFolder folder;
    const std::wstring dll = folder / L"Comp.dll";
    CopyTestDll(L"testreg_ok.dll", dll);
    EXPECT_TRUE(RegisterServer(dll.c_str(), L"DllRegisterServer"));
    EXPECT_EQ(RegistrationLog(dll), "register ole=1\n");
    EXPECT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
    EXPECT_TRUE(OleUninitialised());
}

// A thread of the multithreaded apartment cannot enter OLE: the entry point is called all the
// same, and the thread's own COM initialisation stays in place.
TEST(RegisterServer, WorksOnAThreadOfTheMultithreadedApartment) {
    TestFolder folder;
    const std::wstring dll = folder / L"Comp.dll";
    CopyTestDll(L"testreg_ok.dll", dll);
    bool registered = false;
    HRESULT comAfterwards = E_FAIL;
    std::thread([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        registered = RegisterServer(dll.c_str(), L"DllRegisterServer");
        // S_FALSE: this thread's initialisation is still in place.
        comAfterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(comAfterwards)) CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_TRUE(registered);
    EXPECT_EQ(comAfterwards, S_FALSE);
    EXPECT_EQ(RegistrationLog(dll), "register ole=0\n");
}

TEST(RegisterServer, OnlyANegativeStatusIsFailure) {
    TestFolder folder;
    const struct {
        const wchar_t* dll;
        bool registered;
        int calls;
    } cases[] = {
        {L"testreg_ok.dll", true, 1},
        {L"testreg_sfalse.dll", true, 1},  // S_FALSE is a success code
        {L"testreg_fail.dll", false, 1},
        {L"testreg_noentry.dll", false, 0},
    };
    for (const auto& c : cases) {
        const std::wstring dll = folder / c.dll;
        CopyTestDll(c.dll, dll);
        EXPECT_EQ(RegisterServer(dll.c_str(), L"DllRegisterServer"), c.registered)
            << testing::PrintToString(std::wstring(c.dll));
        EXPECT_EQ(RegistrationCount(dll), c.calls);
        EXPECT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
    }
    EXPECT_TRUE(OleUninitialised());
}

// A registered DLL's imports come from its own folder and the system's: not from the program's
// folder (the test DLLs' build folder holds testreg_dep.dll) nor from the current folder.
TEST(RegisterServer, LoadsImportsFromTheDllsFolderAndTheSystemOnly) {
    TestFolder folder;
    TestFolder current;
    const std::wstring dll = folder / L"Comp.dll";
    CopyTestDll(L"testreg_dependent.dll", dll);
    CopyTestDll(L"testreg_dep.dll", current / L"testreg_dep.dll");
    wchar_t before[MAX_PATH] = L"";
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));
    const bool elsewhere = RegisterServer(dll.c_str(), L"DllRegisterServer");
    CopyTestDll(L"testreg_dep.dll", folder / L"testreg_dep.dll");
    const bool beside = RegisterServer(dll.c_str(), L"DllRegisterServer");
    SetCurrentDirectoryW(before);

    EXPECT_FALSE(elsewhere) << "imported from the program's or the current folder";
    EXPECT_TRUE(beside);
    EXPECT_EQ(RegistrationCount(dll), 1);
}

// A DLL another user may change is never loaded: its code would run in this process.
TEST(RegisterServer, ADllOthersMayChangeIsNotLoaded) {
    TestFolder folder;
    for (const bool othersMayChange : {false, true}) {
        SCOPED_TRACE(othersMayChange ? "others may change it" : "only this user");
        const std::wstring dll = folder / (othersMayChange ? L"Open.dll" : L"Own.dll");
        CopyTestDll(L"testreg_ok.dll", dll);
        if (othersMayChange) {
            // Wine, which keeps no access list, makes it mode 0777.
            const auto descriptor = FolderSecurity::DescriptorFromSddl(L"D:(A;;0x1301bf;;;WD)");
            BOOL present = FALSE;
            BOOL defaulted = FALSE;
            PACL dacl = nullptr;
            ASSERT_TRUE(descriptor != nullptr &&
                        GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
            std::wstring path = dll;
            ASSERT_EQ(SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, dacl, nullptr),
                      DWORD{ERROR_SUCCESS});
        }
        EXPECT_EQ(RegisterServer(dll.c_str(), L"DllRegisterServer"), !othersMayChange);
        EXPECT_EQ(RegistrationCount(dll), othersMayChange ? 0 : 1);
        EXPECT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
    }
}

TEST(RegisterServer, FailsForAMissingFileOrEntryPoint) {
    TestFolder folder;
    const std::wstring dll = folder / L"Comp.dll";
    CopyTestDll(L"testreg_ok.dll", dll);
    updatetest::WriteTextFile(folder / L"Text.dll", "not a DLL");
    EXPECT_FALSE(RegisterServer(dll.c_str(), L"DllUnregisterServer"));
    EXPECT_FALSE(RegisterServer((folder / L"Missing.dll").c_str(), L"DllRegisterServer"));
    EXPECT_FALSE(RegisterServer((folder / L"Text.dll").c_str(), L"DllRegisterServer"));
    EXPECT_EQ(RegistrationCount(dll), 0);
    EXPECT_TRUE(OleUninitialised());
}

// Nobody renames the file (and puts another in its place) while it is loaded and called: the
// DLL tries it itself during its call.
TEST(RegisterServer, HoldsTheFileUntilItsCallEnds) {
    TestFolder folder;
    const std::wstring dll = folder / L"Comp.dll";
    CopyTestDll(L"testreg_move.dll", dll);
    EXPECT_TRUE(RegisterServer(dll.c_str(), L"DllRegisterServer"));
    EXPECT_EQ(RegistrationLog(dll), "register moved=0\n");
    // Released afterwards.
    EXPECT_TRUE(MoveFileW(dll.c_str(), (folder / L"Moved.dll").c_str()));
}

TEST(RegisterIfDll, RegistersOnlyFilesWithADllExtensionInAnyCase) {
    TestFolder folder;
    const struct {
        const wchar_t* name;
        int calls;
    } cases[] = {
        {L"a.dll", 1}, {L"b.DLL", 1}, {L"c.Dll", 1}, {L"d.ocx", 0}, {L"e.dll.bak", 0}, {L"f", 0},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder / c.name;
        CopyTestDll(L"testreg_ok.dll", path);
        EXPECT_TRUE(RegisterIfDll(path.c_str()));
        EXPECT_EQ(RegistrationCount(path), c.calls) << testing::PrintToString(std::wstring(c.name));
    }
    // Failures are not reported.
    const std::wstring failing = folder / L"g.dll";
    CopyTestDll(L"testreg_fail.dll", failing);
    EXPECT_TRUE(RegisterIfDll(failing.c_str()));
    EXPECT_TRUE(RegisterIfDll((folder / L"missing.dll").c_str()));
    EXPECT_EQ(RegistrationCount(failing), 1);
}

}  // namespace
