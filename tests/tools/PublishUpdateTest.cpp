// End to end under Wine: the trees pelko-publish made (fixture make_publish_trees.sh) served on
// loopback like any static server, and the component's update manager bringing an install
// folder up to date from them, as the patch dialog drives it. (The program's run time uses the
// system's zone: see PublishClientTest.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../update/RecordingNotify.h"
#include "../update/UpdateTestFiles.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/IUpdateManagerLite.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTrees = PELKO_PUBLISH_TREES;
const char* const kPrefix = "/CvUpdate/PelkoPatch";

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A check, then the downloads with installation right after them; the packages fetched.
struct UpdateRun {
    int pending = -2;
    std::vector<std::wstring> events;
};

UpdateRun UpdateOnce(const updatetree::CUpdateTreeServer& server, const std::wstring& install) {
    UpdateRun run;
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->AddTypeFilter(L"Common");
    run.pending = manager->CheckForUpdates();
    if (run.pending > 0) {
        updatetest::RecordingNotify notify;
        EXPECT_EQ(1, manager->StartDownload(&notify, true));
        EXPECT_TRUE(notify.WaitForDownloadEnd());
        run.events = notify.Events();
    }
    return run;
}

// The packages asked for: classic ones or objects.
std::vector<std::string> Packages(const updatetree::CUpdateTreeServer& server) {
    std::vector<std::string> packages;
    for (const std::string& path : server.Requests())
        if (path.rfind("/RudovuZado/", 0) == 0 || path.rfind("/objects/", 0) == 0)
            packages.push_back(path);
    return packages;
}

TEST(PublishedUpdate, InstallsTheReleaseThenFetchesExactlyWhatChanged) {
    updatetest::TestFolder install;
    const std::wstring dll = install / L"bin\\com\\RegisterRecorder.dll";
    const char* const files[] = {"PelkoDeskLoader.exe", "Pelko.cfg", "readme.txt",
                                 "bin/com/RegisterRecorder.dll"};

    updatetree::CUpdateTreeServer first((kTrees / "tree1").wstring(), kPrefix);
    const UpdateRun install1 = UpdateOnce(first, install.Path());
    EXPECT_EQ(4, install1.pending);
    ASSERT_FALSE(install1.events.empty());
    EXPECT_EQ(L"complete", install1.events.back());
    for (const char* file : files)
        EXPECT_EQ(Bytes(kTrees / "release1" / file), Bytes(fs::path(install.Path()) / file))
            << file;
    EXPECT_EQ(1, updatetest::RegistrationCount(dll));
    EXPECT_EQ(4u, Packages(first).size());

    // Nothing changed: the check finds every file current.
    EXPECT_EQ(0, UpdateOnce(first, install.Path()).pending);
    EXPECT_EQ(4u, Packages(first).size());

    // One file changed (within the minute it was first published in), one only touched.
    updatetree::CUpdateTreeServer second((kTrees / "tree2").wstring(), kPrefix);
    const UpdateRun install2 = UpdateOnce(second, install.Path());
    EXPECT_EQ(1, install2.pending);
    // The signed manifest names the package's object, which the engine fetches.
    const std::vector<std::string> fetched = Packages(second);
    ASSERT_EQ(1u, fetched.size());
    EXPECT_EQ(0u, fetched[0].rfind("/objects/", 0)) << fetched[0];
    EXPECT_EQ(Bytes(kTrees / "tree2" / "RudovuZado" / "Pelko.cfg.zip"),
              Bytes(kTrees / "tree2" / fetched[0].substr(1)));
    for (const char* file : files)
        EXPECT_EQ(Bytes(kTrees / "release2" / file), Bytes(fs::path(install.Path()) / file))
            << file;
    EXPECT_EQ(0, UpdateOnce(second, install.Path()).pending);
}

}  // namespace
