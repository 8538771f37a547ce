// pelkoweb: URLs handed to PelkoWebHost as the shell hands them over: the start operation runs
// with the decoded values, or the URL is refused with a box and nothing is called.
#include <gtest/gtest.h>

#include "host/SchemeHostFixture.h"
#include "host/SchemeTexts.h"
#include "host/WideText.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using SchemeUrl::Refusal;

constexpr int kRefusedExitCode = 5;

class SchemeLaunchTest : public SchemeHostFixture {
protected:
    // Answers 404 to everything: the update finds nothing and the loader starts.
    httptest::CLoopbackHttpServer m_server;
    const std::wstring m_serverUrl = m_server.Url("/CvUpdate/Pelko");
};

struct LaunchCase {
    const char* name;
    std::wstring url;
    const wchar_t* loader;
    IniEntries settings;
};

TEST_F(SchemeLaunchTest, StartsTheOperationWithTheDecodedValues) {
    const std::wstring& server = m_serverUrl;
    const std::wstring korean = L"펠코 주식회사";
    const LaunchCase cases[] = {
        {"desk, server encoded, '+' and '%2B'",
         L"pelkoweb://desk?server=" + PercentEncoded(server) + L"&enc=a+b%2Bc%20d",
         L"PelkoDeskLoader",
         {{L"Server", server}, {L"Enc", L"a+b+c d"}, {L"EntID", L""}, {L"EntName", L""}}},
        {"classic, Korean name, names in another order",
         L"pelkoweb://classic?entname=" + PercentEncoded(korean) + L"&entid=ent%2F7&server=" +
             server,
         L"PelkoLoader",
         {{L"Server", server}, {L"Enc", L""}, {L"EntID", L"ent/7"}, {L"EntName", korean}}},
        {"agent, empty enc, '/' after the operation",
         L"pelkoweb://agent/?server=" + server + L"&enc=",
         L"PelkoAgentLoader",
         {{L"Server", server}, {L"Enc", L""}, {L"EntID", L""}, {L"EntName", L""}}},
        {"classic, empty values, scheme in capitals",
         L"PELKOWEB://classic?server=" + server + L"&entid=&entname=",
         L"PelkoLoader",
         {{L"Server", server}, {L"Enc", L""}, {L"EntID", L""}, {L"EntName", L""}}},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreshInstallFolder();
        // A settings file in UTF-16 keeps every character the host passes on, whatever the
        // prefix's ANSI code page.
        WriteBytes(SettingsPath(), "\xFF\xFE");
        const HostRun run = RunHost(OpenCommandFor(c.url));
        EXPECT_EQ(run.exitCode, kUpdateFailedExitCode) << run.output;
        EXPECT_TRUE(run.boxes.empty());
        const auto record = WaitForRecord(c.loader);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->path, InInstallFolder(std::wstring(c.loader) + L".exe"));
        EXPECT_EQ(record->settings, ReadBytes(SettingsPath()));
        EXPECT_EQ(SettingsEntries(), c.settings);
    }
}

TEST_F(SchemeLaunchTest, AServerTheComponentRefusesGetsTheComponentsOwnBox) {
    FreshInstallFolder();
    const std::wstring refused = L"http://evil.test/CvUpdate/Pelko";
    const HostRun run =
        RunHost(OpenCommandFor(L"pelkoweb://desk?server=" + PercentEncoded(refused) + L"&enc=x"));
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, L"ERROR");
    const std::wstring wrongServer = L"잘못된 서버에 접근하고 있습니다.";
    EXPECT_EQ(run.boxes[0].text.substr(0, wrongServer.size()), wrongServer)
        << Utf8(run.boxes[0].text);
    ExpectNothingStarted();
}

TEST_F(SchemeLaunchTest, ALinkToAHostWithoutAUsableDllSaysSo) {
    FreshInstallFolder();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"pelko-link-host\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring host = folder + L"PelkoWebHost.exe";
    const std::wstring dll = folder + L"PelkoWebLoader.dll";
    ASSERT_TRUE(CopyFileW(HostPath().c_str(), host.c_str(), FALSE));
    const std::wstring url = L"pelkoweb://desk?server=" + PercentEncoded(m_serverUrl) + L"&enc=x";
    const std::wstring unavailable =
        WideText::Wide(SchemeTexts::ComponentUnavailableText(WideText::Utf16(dll)));
    // The user's log of the host, to be read after each run.
    const std::wstring appData = folder + L"AppData";
    CreateDirectoryW(appData.c_str(), nullptr);
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str());
    const std::wstring log = appData + L"\\Pelko\\Logs\\PelkoWebLoader.log";

    HostRun run = RunHost(OpenCommandFor(url, host), host);
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, L"ERROR");
    EXPECT_EQ(run.boxes[0].text, unavailable);
    EXPECT_NE(ReadBytes(log).find("PelkoWebHost, cannot load " + Utf8(dll) + ", error 126"),
              std::string::npos)
        << ReadBytes(log);

    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"NoFactory.dll").c_str(), dll.c_str(), FALSE));
    run = RunHost(OpenCommandFor(url, host), host);
    EXPECT_EQ(run.exitCode, 3);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, unavailable);
    ExpectNothingStarted();
    EXPECT_NE(ReadBytes(log).find("PelkoWebHost, " + Utf8(dll) +
                                  " does not export CreatePelkoWebDLLObject"),
              std::string::npos);
    SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);

    EXPECT_TRUE(DeleteSoon(host));
    EXPECT_TRUE(DeleteSoon(dll));
    DeleteSoon(log);
    RemoveDirectoryW((appData + L"\\Pelko\\Logs").c_str());
    RemoveDirectoryW((appData + L"\\Pelko").c_str());
    RemoveDirectoryW(appData.c_str());
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

struct HostileCase {
    const char* name;
    std::wstring commandLine;
    Refusal refusal;
    std::u16string detail;
};

TEST_F(SchemeLaunchTest, RefusesHostileUrlsWithABoxAndCallsNothing) {
    const std::wstring s = PercentEncoded(m_serverUrl);
    const std::wstring desk = L"pelkoweb://desk?server=" + s;
    const HostileCase cases[] = {
        {"unknown operation", OpenCommandFor(L"pelkoweb://start?server=" + s + L"&enc=x"),
         Refusal::UnknownOperation, u"start"},
        {"missing parameter", OpenCommandFor(L"pelkoweb://classic?server=" + s + L"&entid=1"),
         Refusal::MissingParameter, u"entname"},
        {"repeated parameter", OpenCommandFor(desk + L"&enc=x&server=" + s),
         Refusal::RepeatedParameter, u"server"},
        {"unknown parameter", OpenCommandFor(desk + L"&enc=x&exe=calc.exe"),
         Refusal::UnknownParameter, u"exe"},
        {"bad percent-encoding", OpenCommandFor(desk + L"&enc=%G1"), Refusal::BadPercentEncoding,
         u"enc"},
        {"invalid UTF-8", OpenCommandFor(desk + L"&enc=%C0%AF"), Refusal::InvalidUtf8, u"enc"},
        {"embedded NUL", OpenCommandFor(L"pelkoweb://desk?server=" + s + L"%00.evil.test&enc=x"),
         Refusal::EmbeddedNul, u"server"},
        {"too long", OpenCommandFor(desk + L"&enc=" + std::wstring(5000, L'a')), Refusal::TooLong,
         u""},
        {"a space", OpenCommandFor(desk + L"&enc=a b"), Refusal::BadCharacter, u"U+0020"},
        {"raw Korean", OpenCommandFor(desk + L"&enc=펠코"), Refusal::BadCharacter, u"U+D3A0"},
        {"a quote that would add arguments", OpenCommandFor(desk + L"&enc=x\" --register \""),
         Refusal::ExtraArguments, u""},
        {"a backslash that escapes the closing quote", OpenCommandFor(desk + L"&enc=x\\"),
         Refusal::BadCharacter, u"U+0022"},
        {"not pelkoweb://", OpenCommandFor(L"pelkoweb:desk?server=" + s + L"&enc=x"),
         Refusal::NotSchemeUrl, u""},
    };
    FreshInstallFolder();
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const HostRun run = RunHost(c.commandLine);
        EXPECT_EQ(run.exitCode, kRefusedExitCode);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].caption, L"ERROR");
        EXPECT_TRUE(run.boxes[0].hasIcon);
        EXPECT_EQ(run.boxes[0].text, WideText::Wide(SchemeTexts::RefusalText(c.refusal, c.detail)))
            << Utf8(run.boxes[0].text);
        ExpectNothingStarted();
    }
    EXPECT_TRUE(m_server.Requests().empty());
}

}  // namespace
