// The start operations in this process, with the message boxes observed instead of shown.
#include <gtest/gtest.h>

#include <functional>

#include "framework/win32/UserMessage.h"
#include "loader/CPelkoWebDLL.h"
#include "loader/DeploymentValues.h"
#include "loader/InstallFolder.h"
#include "loader/LaunchFixture.h"
#include "loader/LoaderSettings.h"
#include "loader/LoaderTexts.h"

namespace {

struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

const std::string kStaleSettings =
    "[Other]\r\nKeep=this\r\n"
    "[PelkoWebLoader]\r\nServer=old\r\nEnc=old-enc\r\nEntID=old-id\r\nEntName=old-name\r\n";

class LaunchTest : public LaunchFixture {
protected:
    void SetUp() override {
        LaunchFixture::SetUp();
        UserMessage::SetObserver(
            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
                m_boxes.push_back({owner, text, caption, type});
                return IDOK;
            });
    }
    void TearDown() override {
        UserMessage::SetObserver(nullptr);
        LaunchFixture::TearDown();
    }

    // The one box a refused server shows; nothing written. With no loader programs installed,
    // a start attempt would have shown a second box.
    void ExpectRefused(const std::wstring& text, const std::string& settingsBefore) {
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].owner, nullptr);
        EXPECT_EQ(m_boxes[0].caption, L"ERROR");
        EXPECT_EQ(m_boxes[0].text, text);
        EXPECT_EQ(m_boxes[0].type, UINT{MB_OK | MB_ICONERROR});
        EXPECT_EQ(ReadBytes(SettingsPath()), settingsBefore);
        EXPECT_TRUE(Exists(kInstallFolder));
    }

    std::vector<ShownBox> m_boxes;
    CPelkoWebDLL m_dll;
};

TEST_F(LaunchTest, InstallFolderIsOnFixedDriveCAndIsCreated) {
    ASSERT_EQ(GetDriveTypeW(L"C:\\"), UINT{DRIVE_FIXED});
    RemoveDirectoryW(kInstallFolder);
    ASSERT_FALSE(Exists(kInstallFolder));
    EXPECT_EQ(GetInstallFolder(), kInstallFolder);
    EXPECT_TRUE(Exists(kInstallFolder));
    EXPECT_EQ(GetInstallFolder(), kInstallFolder);
}

TEST_F(LaunchTest, CreateFolderPathCreatesEveryFolderAndRefusesLongPaths) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring top = std::wstring(temp) + L"pelko-folder-path";
    EXPECT_TRUE(CreateFolderPath(top + L"\\a/b\\c"));
    EXPECT_TRUE(Exists(top + L"\\a\\b\\c"));
    for (const wchar_t* folder : {L"\\a\\b\\c", L"\\a\\b", L"\\a", L""})
        EXPECT_TRUE(RemoveDirectoryW((top + folder).c_str()));

    const std::wstring tooLong = top + L"\\" + std::wstring(300, L'x');
    EXPECT_FALSE(CreateFolderPath(tooLong));
    EXPECT_FALSE(Exists(top));
}

TEST_F(LaunchTest, SettingsKeepOtherSectionsAndWriteEmptyValuesAsEntries) {
    WriteBytes(SettingsPath(), kStaleSettings + "Extra=stays\r\n");
    WriteLoaderSettings(L"http://s/", L"", L"id", L"");
    EXPECT_EQ(SettingsEntries(), (IniEntries{{L"Server", L"http://s/"},
                                             {L"Enc", L""},
                                             {L"EntID", L"id"},
                                             {L"EntName", L""},
                                             {L"Extra", L"stays"}}));
    const std::string bytes = ReadBytes(SettingsPath());
    EXPECT_NE(bytes.find("[Other]\r\nKeep=this\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Enc=\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("EntName=\r\n"), std::string::npos) << bytes;
}

struct OperationCase {
    const char* name;
    std::function<void(CPelkoWebDLL&, const wchar_t* server)> call;
    const wchar_t* loader;
    IniEntries written;  // all but Server
};

TEST_F(LaunchTest, EachOperationWritesItsKeysAndStartsItsLoaderFromTheInstallFolder) {
    const OperationCase cases[] = {
        {"desk",
         [](CPelkoWebDLL& d, const wchar_t* s) { d.StartPelkoDesk(s, L"desk-enc"); },
         L"PelkoDeskLoader",
         {{L"Enc", L"desk-enc"}, {L"EntID", L""}, {L"EntName", L""}}},
        {"classic",
         [](CPelkoWebDLL& d, const wchar_t* s) { d.StartPelko(s, L"ent-7", L"Corvane Trading"); },
         L"PelkoLoader",
         {{L"Enc", L""}, {L"EntID", L"ent-7"}, {L"EntName", L"Corvane Trading"}}},
        {"agent",
         [](CPelkoWebDLL& d, const wchar_t* s) { d.StartPelkoAgent(s, L"agent-enc"); },
         L"PelkoAgentLoader",
         {{L"Enc", L"agent-enc"}, {L"EntID", L""}, {L"EntName", L""}}},
        {"desk, null values",
         [](CPelkoWebDLL& d, const wchar_t* s) { d.StartPelkoDesk(s, nullptr); },
         L"PelkoDeskLoader",
         {{L"Enc", L""}, {L"EntID", L""}, {L"EntName", L""}}},
        {"classic, null values",
         [](CPelkoWebDLL& d, const wchar_t* s) { d.StartPelko(s, nullptr, nullptr); },
         L"PelkoLoader",
         {{L"Enc", L""}, {L"EntID", L""}, {L"EntName", L""}}},
    };
    const std::wstring server = AllowedServer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CleanInstallFolder();
        InstallFakeLoaders();
        WriteBytes(SettingsPath(), kStaleSettings);
        c.call(m_dll, server.c_str());

        EXPECT_TRUE(m_boxes.empty());
        IniEntries expected{{L"Server", server}};
        expected.insert(expected.end(), c.written.begin(), c.written.end());
        EXPECT_EQ(SettingsEntries(), expected);

        const auto record = WaitForRecord(c.loader);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->path, InInstallFolder(std::wstring(c.loader) + L".exe"));
        EXPECT_EQ(record->cwd, CurrentFolder());
        // A console of its own: alone on it.
        EXPECT_EQ(record->consoleProcesses, 1u);
        EXPECT_EQ(record->settings, ReadBytes(SettingsPath()));
        EXPECT_NE(record->settings.find("[Other]\r\nKeep=this\r\n"), std::string::npos);
    }
}

TEST_F(LaunchTest, RefusedServersShowTheBoxAndChangeNothing) {
    const std::wstring domain = DeploymentValues::kAllowedDomain1;
    const std::wstring refused[] = {
        L"http://evil.test/?x=" + domain,
        L"http://" + domain + L".evil.test/",
        L"http://" + domain + L"@evil.test/",
        L"http://evil" + domain + L"/",
        L"",
    };
    for (const auto& server : refused) {
        SCOPED_TRACE(Utf8(server));
        m_boxes.clear();
        // No loader programs are installed: an attempt to start one would show a second box.
        WriteBytes(SettingsPath(), kStaleSettings);
        m_dll.StartPelkoDesk(server.c_str(), L"enc");
        ExpectRefused(LoaderTexts::WrongServerText(server), kStaleSettings);
    }
    m_boxes.clear();
    m_dll.StartPelko(nullptr, L"id", L"name");
    ExpectRefused(L"잘못된 서버에 접근하고 있습니다.\r\n[]", kStaleSettings);
}

TEST_F(LaunchTest, RefusedCallStillCreatesTheInstallFolder) {
    RemoveDirectoryW(kInstallFolder);
    ASSERT_FALSE(Exists(kInstallFolder));
    m_dll.StartPelkoAgent(L"http://evil.test/", L"enc");
    ExpectRefused(LoaderTexts::WrongServerText(L"http://evil.test/"), "");
}

struct HostsCase {
    const char* name;
    std::string hosts;
    std::wstring server;
    std::wstring refusal;  // empty: the loader starts
};

TEST_F(LaunchTest, HostsFilePinsTheOneServerOfThisMachine) {
    const std::wstring mismatch = L"서버 정보가 일치하지 않습니다.";
    const std::wstring server = AllowedServer();
    std::string upper = Utf8(server);
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const HostsCase cases[] = {
        {"same in capitals", "[Site]\r\nUrl=" + upper + "\r\n", server, L""},
        {"extra slash", "[Site]\r\nUrl=" + Utf8(server) + "/\r\n", server, mismatch},
        {"no Url", "[Site]\r\nHost=x\r\n", server, mismatch},
        {"no Site", "[Other]\r\nUrl=" + Utf8(server) + "\r\n", server, mismatch},
        {"matches, but not an allowed domain", "[Site]\r\nUrl=http://evil.test/\r\n",
         L"http://evil.test/", LoaderTexts::WrongServerText(L"http://evil.test/")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CleanInstallFolder();
        m_boxes.clear();
        // Refused calls find no programs: an attempt to start one would show a second box.
        if (c.refusal.empty()) InstallFakeLoaders();
        WriteBytes(InInstallFolder(L"hosts.ini"), c.hosts);
        WriteBytes(SettingsPath(), kStaleSettings);
        m_dll.StartPelkoDesk(c.server.c_str(), L"enc");
        if (!c.refusal.empty()) {
            ExpectRefused(c.refusal, kStaleSettings);
        } else {
            EXPECT_TRUE(m_boxes.empty());
            EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader").has_value());
        }
    }
}

struct StartFailureCase {
    const char* name;
    const char* programBytes;  // null: no program file
    const wchar_t* code;
    const wchar_t* textPart;  // in the system's text
};

TEST_F(LaunchTest, ProgramThatCannotStartShowsTheErrorCodeAfterTheSettingsWereWritten) {
    const StartFailureCase cases[] = {
        {"missing", nullptr, L"0x00000002", L""},
        // The system's text for this code has an insert; it is shown as it stands.
        {"not a program", "plain text", L"0x000000c1", L"%1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CleanInstallFolder();
        m_boxes.clear();
        if (c.programBytes != nullptr)
            WriteBytes(InInstallFolder(L"PelkoAgentLoader.exe"), c.programBytes);
        m_dll.StartPelkoAgent(AllowedServer().c_str(), L"enc");
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].owner, nullptr);
        EXPECT_EQ(m_boxes[0].caption, L"Error");
        EXPECT_EQ(m_boxes[0].type, UINT{MB_OK});
        const std::wstring& text = m_boxes[0].text;
        const std::wstring prefix =
            std::wstring(L"프로그램을 실행하는데 실패하였습니다.(에러코드 : ") + c.code + L"): ";
        EXPECT_EQ(text.substr(0, prefix.size()), prefix) << Utf8(text);
        EXPECT_GT(text.size(), prefix.size());
        EXPECT_NE(text.find(c.textPart, prefix.size()), std::wstring::npos) << Utf8(text);
        EXPECT_EQ(SettingsEntries().size(), 4u);
    }
}

}  // namespace
