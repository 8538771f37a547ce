// The build's PelkoWebSetup.msi installed, upgraded and removed by the system's msiexec, as a
// user without administrator rights would: the installed host takes links, the scheme's values
// are those the host registers itself, and nothing of it stays after the uninstall. Runs in a
// Wine prefix of its own.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>

#include <string>
#include <vector>

#include "host/RegistryTree.h"
#include "host/SchemeHostFixture.h"
#include "host/WideText.h"
#include "resources/ProductVersion.h"
#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

constexpr DWORD kMsiexecWaitMs = 180000;
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring WindowsPath(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

struct ArpEntry {
    std::wstring name;
    std::wstring publisher;
    std::wstring version;
    bool operator==(const ArpEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ArpEntry& entry) {
    return out << Utf8(entry.name) << " | " << Utf8(entry.publisher) << " | "
               << Utf8(entry.version);
}

class SetupTest : public SchemeHostFixture {
protected:
    void SetUp() override {
        SchemeHostFixture::SetUp();
        ASSERT_TRUE(RelatedProducts().empty()) << "a PelkoWeb package is already installed";
        ASSERT_TRUE(RegistryTree(HKEY_CURRENT_USER, kSchemeKey).empty());
        m_programsBefore = Exists(UserPrograms());
    }
    void TearDown() override {
        for (const std::wstring& product : RelatedProducts()) Msiexec(L"/x " + product + L" /qn");
        HideFromTheShell();
        SchemeHostFixture::TearDown();
    }

    static std::wstring Msi() { return WindowsPath(L"" PELKO_SETUP_MSI); }
    static std::wstring OlderMsi() { return WindowsPath(L"" PELKO_OLDER_MSI); }

    // %LOCALAPPDATA%\Programs and the installed program.
    static std::wstring UserPrograms() {
        wchar_t folder[MAX_PATH] = {};
        ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Programs", folder, MAX_PATH);
        return folder;
    }
    static std::wstring InstalledFolder() { return UserPrograms() + L"\\PelkoWeb\\"; }
    static std::wstring InstalledHost() { return InstalledFolder() + L"PelkoWebHost.exe"; }

    // msiexec's exit code.
    static DWORD Msiexec(const std::wstring& arguments) {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        const std::wstring program = std::wstring(system) + L"\\msiexec.exe";
        std::wstring line = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
            ADD_FAILURE() << "msiexec did not start, error " << GetLastError();
            return static_cast<DWORD>(-1);
        }
        CloseHandle(process.hThread);
        DWORD exitCode = static_cast<DWORD>(-1);
        if (WaitForSingleObject(process.hProcess, kMsiexecWaitMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &exitCode);
        else
            ADD_FAILURE() << "msiexec did not end: " << Utf8(arguments);
        CloseHandle(process.hProcess);
        return exitCode;
    }

    // The installed products of the installer's upgrade code.
    static std::vector<std::wstring> RelatedProducts() {
        std::vector<std::wstring> products;
        wchar_t product[39] = {};
        while (MsiEnumRelatedProductsW(PELKO_UPGRADE_CODE, 0, static_cast<DWORD>(products.size()),
                                       product) == ERROR_SUCCESS)
            products.push_back(product);
        return products;
    }

    // What Add/Remove Programs lists under the product's name, the user's and the machine's.
    static std::vector<ArpEntry> ArpEntries() {
        std::vector<ArpEntry> entries;
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            HKEY uninstall = nullptr;
            if (RegOpenKeyExW(root, kUninstallKey, 0, KEY_READ, &uninstall) != ERROR_SUCCESS)
                continue;
            wchar_t name[256];
            for (DWORD i = 0;; ++i) {
                DWORD size = 256;
                if (RegEnumKeyExW(uninstall, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                const std::wstring key = std::wstring(kUninstallKey) + L"\\" + name;
                ArpEntry entry{ReadText(root, key, L"DisplayName"),
                               ReadText(root, key, L"Publisher"),
                               ReadText(root, key, L"DisplayVersion")};
                if (entry.name == L"" PELKO_PRODUCT_NAME) entries.push_back(entry);
            }
            RegCloseKey(uninstall);
        }
        return entries;
    }

    static ArpEntry Entry(const wchar_t* version) {
        return {L"" PELKO_PRODUCT_NAME, L"" PELKO_PUBLISHER, version};
    }

    // Everything of the package is gone, and %LOCALAPPDATA%\Programs is as it was before.
    void ExpectNothingLeft() const {
        EXPECT_TRUE(RelatedProducts().empty());
        EXPECT_TRUE(ArpEntries().empty());
        EXPECT_FALSE(Exists(InstalledFolder()));
        EXPECT_EQ(Exists(UserPrograms()), m_programsBefore);
        EXPECT_TRUE(RegistryTree(HKEY_CURRENT_USER, kSchemeKey).empty());
    }

    void ExpectInstalledFilesFrom(const std::wstring& folder) const {
        for (const wchar_t* name : {L"PelkoWebHost.exe", L"PelkoWebLoader.dll"})
            EXPECT_TRUE(ReadBytes(InstalledFolder() + name) == ReadBytes(folder + name))
                << Utf8(name) << " is not the one of " << Utf8(folder);
    }

    bool m_programsBefore = false;
};

TEST_F(SetupTest, InstallsForTheUserRegistersTheSchemeAsTheHostDoesAndUninstallsWhole) {
    ASSERT_EQ(Msiexec(L"/i \"" + Msi() + L"\" /qn"), 0u);
    ExpectInstalledFilesFrom(ProgramFolder());
    EXPECT_EQ(ArpEntries(), std::vector<ArpEntry>{Entry(L"" PELKO_VERSION_TEXT)});
    ASSERT_EQ(RelatedProducts().size(), 1u);

    // The installed values are exactly the host's own: it finds them in place, and once it
    // has removed its values nothing is left.
    const std::vector<std::wstring> installed = RegistryTree(HKEY_CURRENT_USER, kSchemeKey);
    HostRun run = RunHost(L"\"" + InstalledHost() + L"\" --register", InstalledHost());
    EXPECT_EQ(run.output, "pelkoweb: already registered for " + Utf8(InstalledHost()) + "\n");
    EXPECT_EQ(RunHost(L"\"" + InstalledHost() + L"\" --unregister", InstalledHost()).exitCode, 0);
    EXPECT_TRUE(RegistryTree(HKEY_CURRENT_USER, kSchemeKey).empty());
    EXPECT_EQ(RunHost(L"\"" + InstalledHost() + L"\" --register", InstalledHost()).exitCode, 0);
    EXPECT_EQ(RegistryTree(HKEY_CURRENT_USER, kSchemeKey), installed);

    run = RunHost(L"\"" + InstalledHost() + L"\" --version", InstalledHost());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, std::string("PelkoWebHost ") + PELKO_VERSION_TEXT + "\n" +
                              Utf8(InstalledFolder()) + "PelkoWebLoader.dll " + PELKO_VERSION_TEXT +
                              ".0\n");

    // A link handed over by the shell starts the installed host, which starts the loader.
    ShowToTheShell();
    httptest::CLoopbackHttpServer server;
    const std::wstring serverUrl = server.Url("/CvUpdate/Pelko");
    FreshInstallFolder();
    ExpectAgentLinkStartsTheLoader(serverUrl, L"installed");
    HideFromTheShell();

    EXPECT_EQ(Msiexec(L"/x \"" + Msi() + L"\" /qn"), 0u);
    ExpectNothingLeft();
}

TEST_F(SetupTest, ANewerPackageReplacesTheInstalledOneInPlace) {
    ASSERT_EQ(Msiexec(L"/i \"" + OlderMsi() + L"\" /qn"), 0u);
    EXPECT_EQ(ArpEntries(), std::vector<ArpEntry>{Entry(L"" PELKO_OLDER_VERSION)});
    ExpectInstalledFilesFrom(WindowsPath(L"" PELKO_OLDER_BIN));

    ASSERT_EQ(Msiexec(L"/i \"" + Msi() + L"\" /qn"), 0u);
    EXPECT_EQ(ArpEntries(), std::vector<ArpEntry>{Entry(L"" PELKO_VERSION_TEXT)});
    EXPECT_EQ(RelatedProducts().size(), 1u);
    ExpectInstalledFilesFrom(ProgramFolder());
    HostRun run = RunHost(L"\"" + InstalledHost() + L"\" --register", InstalledHost());
    EXPECT_EQ(run.output, "pelkoweb: already registered for " + Utf8(InstalledHost()) + "\n");

    // An older package does not go over a newer one.
    EXPECT_NE(Msiexec(L"/i \"" + OlderMsi() + L"\" /qn"), 0u);
    EXPECT_EQ(ArpEntries(), std::vector<ArpEntry>{Entry(L"" PELKO_VERSION_TEXT)});
    ExpectInstalledFilesFrom(ProgramFolder());

    EXPECT_EQ(Msiexec(L"/x \"" + Msi() + L"\" /qn"), 0u);
    ExpectNothingLeft();
}

}  // namespace
