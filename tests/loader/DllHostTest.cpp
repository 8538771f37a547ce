// PelkoWebLoader.dll as host programs see it: loaded by path, driven through the exported
// factory from C++ (the chief header), from plain C (PelkoCHost), from code compiled as MSVC
// compiles it (PelkoMsvcHost) and by PelkoWebHost.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/DeploymentValues.h"
#include "framework/PathText.h"
#include "loader/LaunchFixture.h"
#include "loader/LoaderTexts.h"
#include "pelkoweb/PelkoWebDLL.h"
#include "support/common/TestFolder.h"
#include "support/ui/MessageBoxWatcher.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"

namespace {

constexpr DWORD kBoxWaitMs = 20000;

class DllHostTest : public LaunchFixture {
protected:
    void SetUp() override {
        LaunchFixture::SetUp();
        m_dll = LoadLibraryW((ProgramFolder() + L"PelkoWebLoader.dll").c_str());
        ASSERT_NE(m_dll, nullptr);
        m_create = reinterpret_cast<PFN_CreatePelkoWebDLLObject>(
            reinterpret_cast<void*>(GetProcAddress(m_dll, "CreatePelkoWebDLLObject")));
        ASSERT_NE(m_create, nullptr);
        // The start operations run the patch window: an update server with nothing to fetch
        // lets each end at once instead of waiting out the downloader's connection attempts.
        updatetree::CUpdateTree(m_treeFolder.Path()).PublishManifest("");
        m_updateServer = std::make_unique<updatetree::CUpdateTreeServer>(m_treeFolder.Path(),
                                                                         "/CvUpdate/PelkoPatch");
        m_server = std::wstring(L"http://") + DeploymentValues::kAllowedDomain1 + L":" +
                   std::to_wstring(m_updateServer->Port()) + L"/CvUpdate/Pelko";
    }
    void TearDown() override {
        if (m_dll != nullptr) FreeLibrary(m_dll);
        LaunchFixture::TearDown();
    }

    static int RunHost(const wchar_t* program, const std::wstring& arguments) {
        return RunProgram(ProgramFolder() + program, arguments);
    }

    // An allowed server whose update tree is current.
    const std::wstring& Server() const { return m_server; }

    HMODULE m_dll = nullptr;
    PFN_CreatePelkoWebDLLObject m_create = nullptr;
    testsupport::TestFolder m_treeFolder;
    std::unique_ptr<updatetree::CUpdateTreeServer> m_updateServer;
    std::wstring m_server;
};

TEST_F(DllHostTest, TwoObjectsFromTheHeaderAreIndependent) {
    InstallFakeLoaders();
    IPelkoWebDLL* first = m_create();
    IPelkoWebDLL* second = m_create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    DeletePelkoWebDLLObject(first);
    second->StartPelkoAgent(Server().c_str(), L"agent-enc");
    DeletePelkoWebDLLObject(second);

    const auto record = WaitForRecord(L"PelkoAgentLoader");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(
        SettingsEntries(),
        (IniEntries{
            {L"Server", Server()}, {L"Enc", L"agent-enc"}, {L"EntID", L""}, {L"EntName", L""}}));
}

TEST_F(DllHostTest, RealMessageBoxesShowTheirCaptionTextAndIcon) {
    const std::wstring refused =
        L"http://evil.test/?x=" + std::wstring(DeploymentValues::kAllowedDomain1);
    IPelkoWebDLL* object = m_create();
    ASSERT_NE(object, nullptr);
    MessageBoxWatcher watcher;
    object->StartPelkoDesk(refused.c_str(), L"enc");
    // No loader programs are installed: the start fails after the check passed.
    object->StartPelkoDesk(Server().c_str(), L"enc");
    object->StartPelko(Server().c_str(), L"id\r\n[Injected]", L"name");
    // Another user's settings that this user cannot replace: no start is tried.
    const std::string othersSettings = "[PelkoWebLoader]\r\nServer=another user's\r\n";
    WriteBytes(SettingsPath(), othersSettings);
    SetFileAttributesW(SettingsPath().c_str(), FILE_ATTRIBUTE_READONLY);
    object->StartPelkoDesk(Server().c_str(), L"enc");
    SetFileAttributesW(SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeletePelkoWebDLLObject(object);

    ASSERT_TRUE(watcher.WaitForBoxes(4, kBoxWaitMs));
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].caption, L"ERROR");
    EXPECT_EQ(seen[0].text, LoaderTexts::WrongServerText(refused));
    EXPECT_TRUE(seen[0].hasIcon);
    EXPECT_EQ(seen[1].caption, L"Error");
    const std::wstring prefix = L"프로그램을 실행하는데 실패하였습니다.(에러코드 : 0x00000002): ";
    EXPECT_EQ(seen[1].text.substr(0, prefix.size()), prefix) << Utf8(seen[1].text);
    EXPECT_FALSE(seen[1].hasIcon);
    EXPECT_EQ(seen[2].caption, L"ERROR");
    EXPECT_EQ(seen[2].text, L"실행 정보가 올바르지 않습니다.");
    EXPECT_TRUE(seen[2].hasIcon);
    EXPECT_EQ(seen[3].caption, L"PelkoWebLoader");
    const std::wstring settings = L"설정 파일을 저장하지 못해 프로그램을 실행할 수 없습니다.";
    EXPECT_EQ(seen[3].text.substr(0, settings.size()), settings) << Utf8(seen[3].text);
    EXPECT_NE(seen[3].text.find(L"\r\n" + SettingsPath() + L"\r\n"), std::wstring::npos);
    EXPECT_TRUE(seen[3].hasIcon);
    EXPECT_EQ(ReadBytes(SettingsPath()), othersSettings);
}

TEST_F(DllHostTest, PlainCHostDrivesTheObjectTableLikeMsvcCode) {
    EXPECT_EQ(RunHost(L"PelkoCHost.exe", L"lifetime"), 0);

    InstallFakeLoaders();
    const std::wstring server = Server();
    EXPECT_EQ(RunHost(L"PelkoCHost.exe", L"desk " + server + L" c-enc"), 0);
    ASSERT_TRUE(WaitForRecord(L"PelkoDeskLoader").has_value());
    EXPECT_EQ(
        SettingsEntries(),
        (IniEntries{{L"Server", server}, {L"Enc", L"c-enc"}, {L"EntID", L""}, {L"EntName", L""}}));

    EXPECT_EQ(RunHost(L"PelkoCHost.exe", L"classic " + server + L" c-id c-name"), 0);
    const auto record = WaitForRecord(L"PelkoLoader");
    ASSERT_TRUE(record.has_value());
    // The host's current folder, which it has from this program.
    EXPECT_EQ(PathText::AppendBackslash(record->cwd), PathText::AppendBackslash(CurrentFolder()));
    EXPECT_EQ(
        SettingsEntries(),
        (IniEntries{
            {L"Server", server}, {L"Enc", L""}, {L"EntID", L"c-id"}, {L"EntName", L"c-name"}}));

    EXPECT_EQ(RunHost(L"PelkoCHost.exe", L"agent " + server + L" -"), 0);
    ASSERT_TRUE(WaitForRecord(L"PelkoAgentLoader").has_value());
    EXPECT_EQ(SettingsEntries(),
              (IniEntries{{L"Server", server}, {L"Enc", L""}, {L"EntID", L""}, {L"EntName", L""}}));
}

TEST_F(DllHostTest, HostCompiledAsMsvcCompilesItDrivesTheObject) {
    InstallFakeLoaders();
    const std::wstring server = Server();
    EXPECT_EQ(RunHost(L"PelkoMsvcHost.exe", server), 0);
    const auto record = WaitForRecord(L"PelkoLoader");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(SettingsEntries(), (IniEntries{{L"Server", server},
                                             {L"Enc", L""},
                                             {L"EntID", L"msvc-id"},
                                             {L"EntName", L"msvc-name"}}));
}

TEST_F(DllHostTest, PelkoWebHostStartsTheLoaderOrSaysWhatIsMissing) {
    InstallFakeLoaders();
    const std::wstring server = Server();
    EXPECT_EQ(RunHost(L"PelkoWebHost.exe", L"classic " + server + L" host-id host-name"), 0);
    ASSERT_TRUE(WaitForRecord(L"PelkoLoader").has_value());
    EXPECT_EQ(SettingsEntries(), (IniEntries{{L"Server", server},
                                             {L"Enc", L""},
                                             {L"EntID", L"host-id"},
                                             {L"EntName", L"host-name"}}));
    EXPECT_EQ(RunHost(L"PelkoWebHost.exe", L"desk " + server), 1);

    // A copy of the host alone, then beside a DLL without the factory.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"pelko-lonely-host\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring host = folder + L"PelkoWebHost.exe";
    const std::wstring dll = folder + L"PelkoWebLoader.dll";
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"PelkoWebHost.exe").c_str(), host.c_str(), FALSE));
    EXPECT_EQ(RunProgram(host, L"desk " + server + L" enc"), 2);
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"NoFactory.dll").c_str(), dll.c_str(), FALSE));
    EXPECT_EQ(RunProgram(host, L"desk " + server + L" enc"), 3);
    EXPECT_TRUE(DeleteSoon(host));
    EXPECT_TRUE(DeleteSoon(dll));
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
    EXPECT_FALSE(Exists(InInstallFolder(L"PelkoDeskLoader.record.txt")));
}

}  // namespace
