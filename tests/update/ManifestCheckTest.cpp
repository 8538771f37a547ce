// A hand-written manifest taken through every rule the update check applies to an entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UpdateTestFiles.h"
#include "update/CFileContent.h"
#include "update/DownloadRequest.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"
#include "update/TargetPath.h"

namespace {

using updatetest::TestFolder;

constexpr char kManifest[] =
    "[Missing.dll]\r\n"
    "CheckDate=0\r\n"
    "Type=Common\r\n"
    "[Old.dat]\r\n"
    "TargetDir=data\r\n"
    "ModifyDate=2013-05-02 17:30\r\n"
    "CheckDate=1\r\n"
    "Type=Common\r\n"
    "[Same.dat]\r\n"
    "TargetDir=data\\\r\n"
    "ModifyDate=2013-05-02 17:30\r\n"
    "CheckDate=1\r\n"
    "Type=Common\r\n"
    "[Odd.dat]\r\n"
    "ModifyDate=2013/05/02 17:30\r\n"
    "CheckDate=1\r\n"
    "Type=Common\r\n"
    "[Reg.dll]\r\n"
    "Register=1\r\n"
    "Type=Common\r\n"
    "[Lower.dll]\r\n"
    "Type=common\r\n"
    "[NoKeys.dll]\r\n"
    "[Drive.dat]\r\n"
    "FolderType=81\r\n"
    "TargetDir=Data\r\n"
    "Type=Other\r\n";

struct CheckResult {
    std::vector<std::wstring> queued;
    std::vector<DownloadComponentInfo> requests;
};

CheckResult Check(const CFileContent& manifest, const std::wstring& installFolder,
                  const std::vector<std::wstring>& typeFilter) {
    CheckResult result;
    const DownloadProxySettings proxy{L"proxy", L"", L"", 1, nullptr};
    for (const ManifestEntry& entry : manifest.Entries()) {
        const std::wstring target =
            ResolveTargetPath(entry.folderType, entry.targetDir, entry.name, installFolder);
        if (!NeedsUpdate(target, ReleaseTimeOf(entry.modifyDate), entry.registerDll,
                         entry.checkDate, entry.type, typeFilter))
            continue;
        result.queued.push_back(entry.name);
        result.requests.push_back(
            BuildEntryRequest(entry, target, L"http://127.0.0.1:8080\\Patch", proxy, false));
    }
    return result;
}

class ManifestCheck : public testing::Test {
protected:
    void SetUp() override {
        updatetest::WriteTextFile(m_folder / L"RudovuZado.ini", kManifest);
        for (const wchar_t* name : {L"data\\Old.dat", L"data\\Same.dat", L"Odd.dat"})
            updatetest::WriteTextFile(m_folder / name, "installed copy");
        updatetest::SetLocalWriteTime(m_folder / L"data\\Old.dat", 2013, 5, 2, 17, 29, 59);
        updatetest::SetLocalWriteTime(m_folder / L"data\\Same.dat", 2013, 5, 2, 17, 30, 59);
        updatetest::SetLocalWriteTime(m_folder / L"Odd.dat", 2000, 1, 1, 0, 0, 0);
        updatetest::CopyTestDll(L"testreg_ok.dll", m_folder / L"Reg.dll");
        ASSERT_TRUE(m_manifest.Load((m_folder / L"RudovuZado.ini").c_str()));
        ASSERT_EQ(m_manifest.Entries().size(), 8u);
    }

    TestFolder m_folder;
    CFileContent m_manifest;
};

TEST_F(ManifestCheck, CommonFilterQueuesMissingAndOlderFilesOnly) {
    const CheckResult result = Check(m_manifest, m_folder.Path(), {L"Common"});
    EXPECT_EQ(result.queued, (std::vector<std::wstring>{L"Missing.dll", L"Old.dat"}));
    ASSERT_EQ(result.requests.size(), 2u);
    EXPECT_EQ(result.requests[0].strURL, L"http://127.0.0.1:8080/Patch/RudovuZado/Missing.dll.zip");
    EXPECT_EQ(result.requests[0].strLocalFolder,
              m_folder.Path().substr(0, m_folder.Path().size() - 1));
    EXPECT_EQ(result.requests[0].strLocalFileName, L"Missing.dll.zip");
    EXPECT_EQ(result.requests[1].strURL, L"http://127.0.0.1:8080/Patch/RudovuZado/Old.dat.zip");
    EXPECT_EQ(result.requests[1].strLocalFolder, m_folder / L"data");
    EXPECT_EQ(result.requests[1].strDisplayName, L"Old.dat.zip");
    EXPECT_EQ(result.requests[1].strProxyServer, L"proxy");
    EXPECT_EQ(result.requests[1].nAccessType, 1);
    // The existing registered file was registered again, not queued.
    EXPECT_EQ(updatetest::RegistrationCount(m_folder / L"Reg.dll"), 1);
}

TEST_F(ManifestCheck, WithoutAFilterEveryTypeCounts) {
    const CheckResult result = Check(m_manifest, m_folder.Path(), {});
    EXPECT_EQ(result.queued, (std::vector<std::wstring>{L"Missing.dll", L"Old.dat", L"Lower.dll",
                                                        L"NoKeys.dll", L"Drive.dat"}));
    ASSERT_EQ(result.requests.size(), 5u);
    // A section without keys names its file directly in the install folder.
    EXPECT_EQ(result.requests[3].strLocalFolder + L"\\" + result.requests[3].strLocalFileName,
              m_folder / L"NoKeys.dll.zip");
    EXPECT_EQ(result.requests[4].strLocalFolder, L"Q:\\Data");
    // A second check registers again.
    Check(m_manifest, m_folder.Path(), {});
    EXPECT_EQ(updatetest::RegistrationCount(m_folder / L"Reg.dll"), 2);
}

}  // namespace
