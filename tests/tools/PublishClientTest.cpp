// Trees made by pelko-publish (fixture make_publish_trees.sh, clients in Asia/Seoul, which
// this program runs in) installed by the component's own pieces under Wine: the manifest read
// by CFileContent, the decision by NeedsUpdate, each package extracted by our ZIP reader as
// the installer does it, marked DLLs registered by RegisterIfDll.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "../update/UpdateTestFiles.h"
#include "framework/CException.h"
#include "framework/PathText.h"
#include "update/CFileContent.h"
#include "update/NeedsUpdate.h"
#include "update/RegisterServer.h"
#include "update/ReleaseTime.h"
#include "update/TargetPath.h"
#include "zip/CZipArchive.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTrees = PELKO_PUBLISH_TREES;

// Wine takes the clients' zone from the Unix TZ, which the program inherits as well; the C run
// time would read that value in its own format ("Asia/Seoul" as UTC with daylight saving) when
// the reader turns an entry's time into a file time. A client machine has no TZ variable.
const bool kRunTimeUsesSystemZone = [] {
    _putenv("TZ=");
    _tzset();
    return true;
}();
const std::vector<std::wstring> kCommon{L"Common"};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Entry 0 beside the package, then the package goes, as the installer extracts.
bool ExtractPackage(const std::wstring& package) {
    CZipArchive archive;
    try {
        archive.OpenArchive(package, CZipArchive::zipOpen, 0);
        const std::wstring folder = PathText::FolderPart(package);
        if (!archive.ExtractEntry(0, folder.c_str(), true, nullptr, 65536)) return false;
        archive.CloseArchive(0, false);
    } catch (CException* error) {
        error->Delete();
        return false;
    }
    DeleteFileW(package.c_str());
    return true;
}

class Client {
public:
    // Fetches the tree's manifest package into the cache folder, unpacks and reads it.
    std::list<ManifestEntry> Manifest(const char* tree) {
        const std::wstring package = cache / L"RudovuZado.ini.zip";
        fs::copy_file(kTrees / tree / "RudovuZado.ini.zip", package,
                      fs::copy_options::overwrite_existing);
        EXPECT_TRUE(ExtractPackage(package));
        CFileContent content;
        EXPECT_TRUE(content.Load((cache / L"RudovuZado.ini").c_str()));
        return content.Entries();
    }

    std::wstring Target(const ManifestEntry& e) const {
        return ResolveTargetPath(e.folderType, e.targetDir, e.name, install.Path());
    }

    std::vector<std::wstring> OutOfDate(const std::list<ManifestEntry>& entries) const {
        std::vector<std::wstring> names;
        for (const ManifestEntry& e : entries)
            if (NeedsUpdate(Target(e), ReleaseTimeOf(e.modifyDate), e.registerDll, e.checkDate,
                            e.type, kCommon))
                names.push_back(e.name);
        return names;
    }

    // The download puts each package next to its target; then the installer runs.
    void Install(const char* tree, const std::list<ManifestEntry>& entries,
                 const std::vector<std::wstring>& names) {
        for (const ManifestEntry& e : entries) {
            if (std::find(names.begin(), names.end(), e.name) == names.end()) continue;
            const std::wstring package = Target(e) + L".zip";
            fs::create_directories(fs::path(PathText::FolderPart(package)));
            fs::copy_file(kTrees / tree / "RudovuZado" / (e.name + L".zip"), package);
            EXPECT_TRUE(ExtractPackage(package)) << fs::path(e.name).string();
        }
        for (const ManifestEntry& e : entries)
            if (e.registerDll) RegisterIfDll(Target(e).c_str());
    }

    void ExpectInstalledAs(const char* release, const std::list<ManifestEntry>& entries) const {
        for (const ManifestEntry& e : entries) {
            std::wstring relative = e.targetDir.empty() ? e.name : e.targetDir + L"\\" + e.name;
            std::replace(relative.begin(), relative.end(), L'\\', L'/');
            EXPECT_EQ(ReadAll(kTrees / release / relative), ReadAll(Target(e)))
                << fs::path(relative).string();
        }
    }

    updatetest::TestFolder install, cache;
};

TEST(PublishedTree, InstallsEveryFileWhichIsThenCurrent) {
    Client client;
    const auto entries = client.Manifest("tree1");
    ASSERT_EQ(4u, entries.size());
    const std::vector<std::wstring> all = client.OutOfDate(entries);
    EXPECT_EQ(4u, all.size());

    client.Install("tree1", entries, all);

    client.ExpectInstalledAs("release1", entries);
    EXPECT_EQ(std::vector<std::wstring>{}, client.OutOfDate(entries));
    EXPECT_EQ(1, updatetest::RegistrationCount(client.install / L"bin\\com\\RegisterRecorder.dll"));
}

TEST(PublishedTree, NextReleaseFetchesExactlyTheChangedFile) {
    Client client;
    const auto first = client.Manifest("tree1");
    client.Install("tree1", first, client.OutOfDate(first));

    const auto second = client.Manifest("tree2");
    const std::vector<std::wstring> changed = client.OutOfDate(second);
    EXPECT_EQ(std::vector<std::wstring>{L"Pelko.cfg"}, changed);
    client.Install("tree2", second, changed);

    client.ExpectInstalledAs("release2", second);
    EXPECT_EQ(std::vector<std::wstring>{}, client.OutOfDate(second));
}

}  // namespace
