// --register and --unregister on the current user's classes key of the prefix, and a link
// handed over the way a browser does it: ShellExecuteW of the pelkoweb: URL.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "host/RegistryTree.h"
#include "host/SchemeHostFixture.h"
#include "host/SchemeTexts.h"
#include "host/WideText.h"
#include "resources/ProductVersion.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

// Each test starts without any pelkoweb key (it stops if one is there: it is not ours to
// change) and removes everything below it again at its end.
class SchemeRegistrationTest : public SchemeHostFixture {
protected:
    void SetUp() override {
        SchemeHostFixture::SetUp();
        ASSERT_TRUE(RegistryTree(HKEY_CURRENT_USER, kSchemeKey).empty())
            << "HKCU\\Software\\Classes\\pelkoweb is already there";
        ASSERT_TRUE(RegistryTree(HKEY_LOCAL_MACHINE, kSchemeKey).empty())
            << "HKLM\\Software\\Classes\\pelkoweb is already there";
        m_ownsKeys = true;
    }
    void TearDown() override {
        if (m_ownsKeys) {
            DeleteTree(HKEY_CURRENT_USER, kSchemeKey);
            DeleteTree(HKEY_LOCAL_MACHINE, kSchemeKey);
        }
        SchemeHostFixture::TearDown();
    }

    static HostRun RunHostWith(const std::wstring& arguments) {
        return RunHost(L"\"" + HostPath() + L"\" " + arguments);
    }

    static std::wstring OpenCommand() { return L"\"" + HostPath() + L"\" \"%1\""; }

    bool m_ownsKeys = false;
};

TEST_F(SchemeRegistrationTest, ALinkStartsTheOperationOnceRegisteredAndUnregisterRestores) {
    const std::vector<std::wstring> before = RegistryTree(HKEY_CURRENT_USER, kSchemeKey);

    HostRun run = RunHostWith(L"--register");
    EXPECT_EQ(run.exitCode, 0);
    const std::string commandLine =
        "wrote HKCU\\Software\\Classes\\pelkoweb\\shell\\open\\command"
        " (default) = " +
        Utf8(OpenCommand()) + "\n";
    EXPECT_NE(run.output.find(commandLine), std::string::npos) << run.output;
    EXPECT_TRUE(run.output.ends_with("pelkoweb: registered for " + Utf8(HostPath()) + "\n"))
        << run.output;
    const std::wstring key = kSchemeKey;
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key + L"\\shell\\open\\command", nullptr), OpenCommand());
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key, L"URL Protocol"), L"");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, key + L"\\DefaultIcon", nullptr),
              L"\"" + HostPath() + L"\",0");
    const std::vector<std::wstring> registered = RegistryTree(HKEY_CURRENT_USER, kSchemeKey);

    run = RunHostWith(L"--register");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "pelkoweb: already registered for " + Utf8(HostPath()) + "\n");
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), registered);

    ShowToTheShell();
    httptest::CLoopbackHttpServer server;
    const std::wstring serverUrl = server.Url("/CvUpdate/Pelko");
    FreshInstallFolder();
    WriteBytes(SettingsPath(), "\xFF\xFE");
    ExpectAgentLinkStartsTheLoader(serverUrl, L"링크 a+b");

    // A crafted link cannot add arguments to the registered command.
    FreshInstallFolder();
    run = OpenLink(L"pelkoweb://desk?server=" + PercentEncoded(serverUrl) +
                   L"&enc=x\" --unregister \"");
    EXPECT_EQ(run.exitCode, 5);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text,
              WideText::Wide(SchemeTexts::RefusalText(SchemeUrl::Refusal::ExtraArguments, u"")));
    ExpectNothingStarted();
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), registered);
    HideFromTheShell();

    run = RunHostWith(L"--unregister");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.output.ends_with("pelkoweb: unregistered\n")) << run.output;
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), before);
    run = RunHostWith(L"--unregister");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "pelkoweb: nothing to unregister\n");
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), before);
}

TEST_F(SchemeRegistrationTest, UnregisterRemovesOnlyWhatRegisterWrote) {
    const std::wstring key = kSchemeKey;
    WriteText(HKEY_CURRENT_USER, key, L"Foreign", L"kept");
    WriteText(HKEY_CURRENT_USER, key + L"\\shell\\edit\\command", nullptr, L"other.exe \"%1\"");
    const std::vector<std::wstring> before = RegistryTree(HKEY_CURRENT_USER, kSchemeKey);

    EXPECT_EQ(RunHostWith(L"--register").exitCode, 0);
    EXPECT_NE(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), before);
    EXPECT_EQ(RunHostWith(L"--unregister").exitCode, 0);
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), before);

    // Another program took the scheme over since: unregistering leaves its registration whole.
    EXPECT_EQ(RunHostWith(L"--register").exitCode, 0);
    WriteText(HKEY_CURRENT_USER, key + L"\\shell\\open\\command", nullptr,
              L"\"C:\\Other\\Other.exe\" \"%1\"");
    const std::vector<std::wstring> takenOver = RegistryTree(HKEY_CURRENT_USER, kSchemeKey);
    const HostRun run = RunHostWith(L"--unregister");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("registered for another program"), std::string::npos) << run.output;
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), takenOver);
}

// The shell shows the scheme with the icon its DefaultIcon value names: the program's own.
TEST_F(SchemeRegistrationTest, DefaultIconNamesTheProgramsOwnIcon) {
    ASSERT_EQ(RunHostWith(L"--register").exitCode, 0);
    const std::wstring value =
        ReadText(HKEY_CURRENT_USER, L"Software\\Classes\\pelkoweb\\DefaultIcon", nullptr);
    const size_t comma = value.rfind(L',');
    ASSERT_NE(comma, std::wstring::npos) << Utf8(value);
    const std::wstring path = value.substr(1, comma - 2);  // without the quotes
    EXPECT_EQ(path, HostPath());
    HICON large = nullptr;
    HICON small = nullptr;
    EXPECT_EQ(ExtractIconExW(path.c_str(), std::stoi(value.substr(comma + 1)), &large, &small, 1),
              2u);
    EXPECT_NE(large, nullptr);
    EXPECT_NE(small, nullptr);
    if (large) DestroyIcon(large);
    if (small) DestroyIcon(small);
}

TEST_F(SchemeHostFixture, VersionNamesTheHostAndTheDllBesideIt) {
    const HostRun run = RunHost(L"\"" + HostPath() + L"\" --version");
    EXPECT_EQ(run.exitCode, 0);
    const std::wstring folder = HostPath().substr(0, HostPath().find_last_of(L'\\') + 1);
    EXPECT_EQ(run.output, std::string("PelkoWebHost ") + PELKO_VERSION_TEXT + "\n" + Utf8(folder) +
                              "PelkoWebLoader.dll " + PELKO_VERSION_TEXT + ".0\n");
    DWORD ignored = 0;
    EXPECT_GT(GetFileVersionInfoSizeW(HostPath().c_str(), &ignored), 0u)
        << "the program has a version resource";
}

}  // namespace
