// End to end under Wine: a release published with deltas from the one installed (fixture
// make_publish_trees.sh, tree4 over tree3), served on loopback and brought in by the update
// manager. A changed file arrives as its delta; whatever spoils the delta, the file still
// arrives in the same run, as its package. (The program's run time uses the system's zone: see
// PublishClientTest.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../download/DebugLines.h"
#include "../update/RecordingNotify.h"
#include "../update/UpdateTestFiles.h"
#include "download/ProgressText.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/IUpdateManagerLite.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTrees = PELKO_PUBLISH_TREES;
const char* const kPrefix = "/CvUpdate/PelkoPatch";
const char* const kChanged = "data/big.bin";
const wchar_t kFellBack[] = L"not used, fetching the package";

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A check, then the downloads with installation right after them; the final event, and the
// total the last progress report showed.
std::wstring UpdateOnce(const updatetree::CUpdateTreeServer& server, const std::wstring& install,
                        int& pending, std::wstring* shownTotal = nullptr) {
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->AddTypeFilter(L"Common");
    pending = manager->CheckForUpdates();
    if (pending <= 0) return std::wstring();
    updatetest::RecordingNotify notify;
    EXPECT_EQ(1, manager->StartDownload(&notify, true));
    EXPECT_TRUE(notify.WaitForDownloadEnd());
    // The installation that follows ends before the manager goes.
    manager.reset();
    const std::vector<std::wstring> events = notify.Events();
    const auto reports = notify.ProgressReports();
    if (shownTotal && !reports.empty()) *shownTotal = reports.back().total;
    return events.empty() ? std::wstring() : events.back();
}

// The packages and deltas asked for, below the tree.
std::vector<std::string> Objects(const updatetree::CUpdateTreeServer& server) {
    std::vector<std::string> objects;
    for (const std::string& path : server.Requests())
        if (path.rfind("/RudovuZado/", 0) == 0 || path.rfind("/objects/", 0) == 0)
            objects.push_back(path);
    return objects;
}

// The tree's one delta, as the server's path.
std::string DeltaObject(const fs::path& tree) {
    for (const fs::directory_entry& entry : fs::directory_iterator(tree / "objects"))
        if (entry.path().extension() == ".pdelta")
            return "/objects/" + entry.path().filename().string();
    return std::string();
}

// An install folder with release3, brought in from tree3, and tree4 served from a copy a
// case may spoil.
struct Scene {
    Scene() {
        updatetree::CUpdateTreeServer first((kTrees / "tree3").wstring(), kPrefix);
        int pending = 0;
        EXPECT_EQ(L"complete", UpdateOnce(first, install.Path(), pending));
        EXPECT_TRUE(Bytes(kTrees / "release3" / kChanged) == Bytes(Installed()));
        fs::copy(kTrees / "tree4", Tree(), fs::copy_options::recursive);
        delta = DeltaObject(Tree());
        EXPECT_FALSE(delta.empty());
    }

    fs::path Installed() const { return fs::path(install.Path()) / kChanged; }
    fs::path Tree() const { return fs::path(served.Path()) / "tree4"; }
    fs::path ServedDelta() const { return Tree() / delta.substr(1); }

    // The release's update: the run ends complete with release4's bytes installed, and the
    // next check finds nothing to do. The packages and deltas the run asked for.
    std::vector<std::string> UpdateToRelease4(std::wstring* shownTotal = nullptr) {
        updatetree::CUpdateTreeServer server(Tree().wstring(), kPrefix);
        int pending = 0;
        EXPECT_EQ(L"complete", UpdateOnce(server, install.Path(), pending, shownTotal));
        EXPECT_EQ(1, pending);
        EXPECT_TRUE(Bytes(kTrees / "release4" / kChanged) == Bytes(Installed()));
        const std::vector<std::string> fetched = Objects(server);
        int again = -1;
        UpdateOnce(server, install.Path(), again);
        EXPECT_EQ(0, again);
        return fetched;
    }

    updatetest::TestFolder install, served;
    std::string delta;
};

TEST(PublishedDelta, AChangedFileArrivesAsItsDelta) {
    Scene scene;
    ASSERT_FALSE(scene.delta.empty());
    const uint64_t deltaSize = fs::file_size(scene.ServedDelta());
    downloadtest::DebugLines lines;
    std::wstring shownTotal;
    EXPECT_EQ(std::vector<std::string>{scene.delta}, scene.UpdateToRelease4(&shownTotal));
    EXPECT_EQ(0, lines.CountContaining(kFellBack));
    // The phase's figures count the bytes fetched, not the file's.
    EXPECT_EQ(ProgressText::SizeText(deltaSize), shownTotal);
}

TEST(PublishedDelta, ASpoiledDeltaGivesWayToThePackageInTheSameRun) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> spoil;
        bool deltaAsked;  // the installed file is the delta's base
    };
    const Case cases[] = {
        {"delta object missing", [](Scene& s) { fs::remove(s.ServedDelta()); }, true},
        {"delta corrupt",
         [](Scene& s) {
             std::string bytes = Bytes(s.ServedDelta());
             bytes[bytes.size() / 2] ^= 0x40;
             WriteBytes(s.ServedDelta(), bytes);
         },
         true},
        {"installed file is not the base",
         [](Scene& s) {
             const fs::file_time_type time = fs::last_write_time(s.Installed());
             std::string bytes = Bytes(s.Installed());
             bytes[0] ^= 0x01;
             WriteBytes(s.Installed(), bytes);
             fs::last_write_time(s.Installed(), time);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        ASSERT_FALSE(scene.delta.empty());
        c.spoil(scene);
        downloadtest::DebugLines lines;
        std::wstring shownTotal;
        const std::vector<std::string> fetched = scene.UpdateToRelease4(&shownTotal);
        // The package replaced the delta in the figures (a delta's few bytes do not show).
        EXPECT_EQ(ProgressText::SizeText(fs::file_size(kTrees / "release4" / kChanged)),
                  shownTotal);
        ASSERT_FALSE(fetched.empty());
        EXPECT_EQ(c.deltaAsked ? 2u : 1u, fetched.size());
        EXPECT_EQ(c.deltaAsked, fetched.front() == scene.delta);
        EXPECT_EQ(0u, fetched.back().rfind("/objects/", 0));
        EXPECT_NE(scene.delta, fetched.back());
        EXPECT_EQ(c.deltaAsked ? 1 : 0, lines.CountContaining(kFellBack));
    }
}

}  // namespace
