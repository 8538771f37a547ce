// The start operations in this process, with the message boxes observed instead of shown.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <set>
#include <stdexcept>

#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "loader/CPelkoWebDLL.h"
#include "loader/DeploymentValues.h"
#include "loader/InstallFolder.h"
#include "loader/LaunchFixture.h"
#include "loader/LoaderSettings.h"
#include "loader/LoaderTexts.h"
#include "support/bcl/common/exception/CWin32Exception.h"

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

// The file is replaced whole, in the bytes the profile functions write in place: the same
// format and code page, from no file, an ANSI file and a UTF-16 one; no temporary file stays.
TEST_F(LaunchTest, SettingsAreReplacedWholeInTheFormatThePlatformWritesInPlace) {
    const std::wstring entName = L"\uD3A0\uCF54 name";  // Korean, as a web page passes it
    const std::string utf16Stale = std::string("\xFF\xFE") + "[\0O\0t\0h\0e\0r\0]\0\r\0\n\0";
    const std::string starts[] = {"", kStaleSettings, utf16Stale};
    const std::wstring reference = InInstallFolder(L"reference.ini");
    for (const std::string& start : starts) {
        for (const std::wstring& path : {SettingsPath(), reference}) {
            DeleteFileW(path.c_str());
            if (!start.empty()) WriteBytes(path, start);
        }
        for (const auto& [key, value] : IniEntries{{L"Server", L"http://s/"},
                                                   {L"Enc", L"e"},
                                                   {L"EntID", L"7"},
                                                   {L"EntName", entName}})
            WritePrivateProfileStringW(L"PelkoWebLoader", key.c_str(), value.c_str(),
                                       reference.c_str());
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, reference.c_str());
        WriteLoaderSettings(L"http://s/", L"e", L"7", entName);
        EXPECT_EQ(ReadBytes(SettingsPath()), ReadBytes(reference)) << start.size();
    }
    DeleteFileW(reference.c_str());
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(InInstallFolder(L"*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "no temporary file is left";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
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
        L"127.0.0.2://" + domain + L":8080/CvUpdate/Pelko",
        L"evil.test://" + domain + L"/CvUpdate/Pelko",
        L"ftp://" + domain + L"/CvUpdate/Pelko",
        L"http://" + domain + L"\\@evil.test/CvUpdate/Pelko",
        L"http://" + domain + L"/x\r\n[Injected]\r\nRun=C:\\evil.exe",
        L"http://" + domain,
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

// The value slots of the settings file, each filled through its start operation.
struct ValueSlot {
    const char* name;
    std::function<void(CPelkoWebDLL&, const std::wstring& value)> call;
};

std::vector<ValueSlot> OpaqueSlots(const std::wstring& server) {
    return {
        {"desk Enc", [=](CPelkoWebDLL& d,
                         const std::wstring& v) { d.StartPelkoDesk(server.c_str(), v.c_str()); }},
        {"agent Enc", [=](CPelkoWebDLL& d,
                          const std::wstring& v) { d.StartPelkoAgent(server.c_str(), v.c_str()); }},
        {"EntID", [=](CPelkoWebDLL& d,
                      const std::wstring& v) { d.StartPelko(server.c_str(), v.c_str(), L"name"); }},
        {"EntName", [=](CPelkoWebDLL& d,
                        const std::wstring& v) { d.StartPelko(server.c_str(), L"id", v.c_str()); }},
    };
}

const std::wstring kBreakingValues[] = {
    L"x\r\n[Injected]\r\nRun=C:\\evil.exe",
    L"x\nRun=1",
    L"x\rRun=1",
    L"\x01",
    L"x\t",
    L"\x7F",
    L"\x85",
    L"x\u2028Run=1",
};

TEST_F(LaunchTest, ValuesWithControlCharactersAreRefusedBeforeAnythingIsChecked) {
    // A check that ran would show the mismatch box of this file instead.
    const std::string hosts = "[Site]\r\nUrl=http://elsewhere.test/\r\n";
    for (const auto& slot : OpaqueSlots(AllowedServer())) {
        for (const auto& value : kBreakingValues) {
            SCOPED_TRACE(std::string(slot.name) + ": " + Utf8(value));
            m_boxes.clear();
            WriteBytes(InInstallFolder(L"hosts.ini"), hosts);
            WriteBytes(SettingsPath(), kStaleSettings);
            slot.call(m_dll, value);
            ExpectRefused(L"실행 정보가 올바르지 않습니다.", kStaleSettings);
        }
    }
}

TEST_F(LaunchTest, NoValueAddsAKeyOrASection) {
    std::vector<ValueSlot> slots = OpaqueSlots(AllowedServer());
    slots.push_back({"Server", [](CPelkoWebDLL& d, const std::wstring& v) {
                         d.StartPelkoDesk((AllowedServer() + L"/" + v).c_str(), L"enc");
                     }});
    std::vector<std::wstring> values(std::begin(kBreakingValues), std::end(kBreakingValues));
    // Written as they stand: one line each.
    values.insert(values.end(), {L"[Injected]", L"Run=C:\\evil.exe;[x]", L"\"q\"=[y]"});
    for (const auto& slot : slots) {
        for (const auto& value : values) {
            SCOPED_TRACE(std::string(slot.name) + ": " + Utf8(value));
            WriteBytes(SettingsPath(), kStaleSettings);
            // No loader programs are installed: the start fails with its box.
            slot.call(m_dll, value);
            wchar_t names[1024] = {};
            const DWORD length =
                GetPrivateProfileSectionNamesW(names, 1024, SettingsPath().c_str());
            EXPECT_EQ(std::wstring(names, length), std::wstring(L"Other\0PelkoWebLoader\0", 21));
            std::vector<std::wstring> keys;
            for (const auto& entry : SettingsEntries()) keys.push_back(entry.first);
            EXPECT_EQ(keys, (std::vector<std::wstring>{L"Server", L"Enc", L"EntID", L"EntName"}));
        }
    }
}

// Patch steps that fail as a real one can; each records the server it was given.
std::wstring g_patchServer;

void PatchStepThreadFails(const std::wstring& server, const std::function<void()>&) {
    g_patchServer = server;
    throw bcl::common::exception::CWin32Exception(L"CThread::Start() - _beginthreadex",
                                                  ERROR_NOT_ENOUGH_MEMORY);
}

void PatchStepOutOfMemory(const std::wstring& server, const std::function<void()>&) {
    g_patchServer = server;
    throw std::bad_alloc();
}

void PatchStepThrowsAnything(const std::wstring& server, const std::function<void()>&) {
    g_patchServer = server;
    throw 1;
}

TEST_F(LaunchTest, PatchStepThatThrowsCountsAsNoUpdate) {
    const PatchStep steps[] = {&PatchStepThreadFails, &PatchStepOutOfMemory,
                               &PatchStepThrowsAnything};
    const std::wstring server = AllowedServer();
    for (const PatchStep step : steps) {
        CleanInstallFolder();
        InstallFakeLoaders();
        g_patchServer.clear();
        std::vector<std::wstring> lines;
        DebugOutput::SetObserver([&](const std::wstring& line) { lines.push_back(line); });
        m_dll.Launch({server.c_str(), L"enc", nullptr, nullptr, L"PelkoDeskLoader.exe"}, step);
        DebugOutput::SetObserver(nullptr);

        EXPECT_EQ(g_patchServer, server);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind(L"CPelkoWebDLL::Launch, patch step, caught ", 0), 0u)
            << Utf8(lines[0]);
        EXPECT_TRUE(m_boxes.empty());
        EXPECT_EQ(SettingsEntries(),
                  (IniEntries{
                      {L"Server", server}, {L"Enc", L"enc"}, {L"EntID", L""}, {L"EntName", L""}}));
        EXPECT_TRUE(WaitForRecord(L"PelkoDeskLoader").has_value());
    }
}

TEST_F(LaunchTest, NothingThrownInsideAStartOperationLeavesIt) {
    // The refusal box throws: the operation reports it and returns.
    UserMessage::SetObserver([](HWND, const std::wstring&, const std::wstring&, UINT) -> int {
        throw std::runtime_error("box failed");
    });
    std::vector<std::wstring> lines;
    DebugOutput::SetObserver([&](const std::wstring& line) { lines.push_back(line); });
    m_dll.StartPelkoAgent(L"http://evil.test/", L"enc");
    DebugOutput::SetObserver(nullptr);
    EXPECT_EQ(lines, std::vector<std::wstring>{L"CPelkoWebDLL::Launch, caught box failed\n"});
}

}  // namespace
