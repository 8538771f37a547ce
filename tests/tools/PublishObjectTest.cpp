// Packages under their own digest: a signed tree holds each package also as
// objects/<SHA-256>.zip, named by its section's Object, and keeps the objects of the last
// manifest for clients still fetching them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "PublishTestSupport.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPackageWriter.h"
#include "tools/publish/OpenSslVerify.h"
#include "verify/ReleaseStatement.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

std::vector<std::string> SignOptions(const Workspace& space) {
    const fs::path key = space.Root() / "release.pem";
    if (!fs::exists(key)) {
        const ToolRun run =
            RunTool({"keygen", key.string(), (space.Root() / "release.pub").string()}, space.Root());
        EXPECT_EQ(0, run.code) << run.err;
    }
    return {"--clients-tz", "Asia/Seoul", "--sign-key", key.string(), "--product", "PelkoTest",
            "--expires-days", "30"};
}

std::string ObjectOf(const std::string& bytes) {
    return "objects/" + ToHex(OpenSslVerify::Sha256(bytes)) + ".zip";
}

// The files below objects/ of the output folder.
std::set<std::string> Objects(const Workspace& space) {
    std::set<std::string> objects;
    for (const auto& [path, bytes] : space.Tree())
        if (path.rfind("objects/", 0) == 0) objects.insert(path);
    return objects;
}

void ExpectObjectsOfTheManifest(const Workspace& space, const std::vector<std::string>& names) {
    const auto tree = space.Tree();
    for (const std::string& name : names) {
        const std::string& package = tree.at("RudovuZado/" + name + ".zip");
        const std::string object = space.ManifestKey(name, "Object");
        EXPECT_EQ(ObjectOf(package), object) << name;
        ASSERT_TRUE(tree.count(object)) << object;
        EXPECT_EQ(package, tree.at(object)) << name;
    }
}

TEST(PublishObjects, ASignedTreeKeepsTheLastManifestsObjectsAndDropsOlderOnes) {
    Workspace space("objects");
    const int64_t time = ZoneTime("Asia/Seoul", "2026-05-02 17:30:10");
    space.WriteFile("a.txt", "first a", time);
    space.WriteFile("bin/b.dll", "bbbb", time);
    space.Describe("[a.txt]\nCheckDate=1\nType=Common\n[b.dll]\nTargetDir=bin\nType=Common\n");
    const auto options = SignOptions(space);
    const std::vector<std::string> names{"a.txt", "b.dll"};

    ASSERT_EQ(0, space.Build(options).code);
    ExpectObjectsOfTheManifest(space, names);
    const std::string firstA = space.ManifestKey("a.txt", "Object");
    const std::string b = space.ManifestKey("b.dll", "Object");
    EXPECT_EQ((std::set<std::string>{firstA, b}), Objects(space));

    // a.txt changes: its new object joins, the last manifest's stays for clients mid-update.
    space.WriteFile("a.txt", "second a", time + 120);
    ASSERT_EQ(0, space.Build(options).code);
    ExpectObjectsOfTheManifest(space, names);
    const std::string secondA = space.ManifestKey("a.txt", "Object");
    EXPECT_NE(firstA, secondA);
    EXPECT_EQ(b, space.ManifestKey("b.dll", "Object"));
    EXPECT_EQ((std::set<std::string>{firstA, secondA, b}), Objects(space));

    // Once more: the first object is named by neither manifest and goes.
    space.WriteFile("a.txt", "third a", time + 240);
    ASSERT_EQ(0, space.Build(options).code);
    ExpectObjectsOfTheManifest(space, names);
    const std::string thirdA = space.ManifestKey("a.txt", "Object");
    EXPECT_EQ((std::set<std::string>{secondA, thirdA, b}), Objects(space));

    // The same release again names the same objects; the one the last manifest no longer
    // named goes.
    const std::string manifest = space.Manifest();
    ASSERT_EQ(0, space.Build(options).code);
    EXPECT_EQ(manifest, space.Manifest());
    EXPECT_EQ((std::set<std::string>{thirdA, b}), Objects(space));
    EXPECT_EQ(0, space.Verify().code);
}

// A last tree's object that is not what its name says is not carried into the next tree.
TEST(PublishObjects, ADamagedObjectOfTheLastTreeIsNotKept) {
    Workspace space("objects-damaged");
    const int64_t time = ZoneTime("Asia/Seoul", "2026-05-02 17:30:10");
    space.WriteFile("a.txt", "first a", time);
    space.Describe("[a.txt]\nType=Common\nCheckDate=1\n");
    const auto options = SignOptions(space);
    ASSERT_EQ(0, space.Build(options).code);
    const std::string firstA = space.ManifestKey("a.txt", "Object");
    fs::remove(space.Output() / firstA);
    std::ofstream(space.Output() / firstA, std::ios::binary) << "other bytes";

    space.WriteFile("a.txt", "second a", time + 120);
    // A publishing script's --strict refuses the build, and the last tree stays as it was.
    std::vector<std::string> strict = options;
    strict.insert(strict.begin(), "--strict");
    const std::string lastManifest = space.Manifest();
    const ToolRun refused = space.Build(strict);
    EXPECT_NE(0, refused.code);
    EXPECT_NE(std::string::npos, refused.err.find(firstA + " of the last manifest is missing or "
                                                  "damaged; not kept (--strict)"))
        << refused.err;
    EXPECT_EQ(lastManifest, space.Manifest());

    const ToolRun run = space.Build(options);
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(firstA + " of the last manifest is missing or damaged"))
        << run.err;
    EXPECT_EQ(std::set<std::string>{space.ManifestKey("a.txt", "Object")}, Objects(space));
}

TEST(PublishObjects, AnUnsignedTreeHasNoObjects) {
    Workspace space("objects-unsigned");
    space.WriteFile("a.txt", "a", ZoneTime("Asia/Seoul", "2026-05-02 17:30:10"));
    space.Describe("[a.txt]\nType=Common\n");
    ASSERT_EQ(0, space.Build({"--clients-tz", "Asia/Seoul"}).code);
    EXPECT_TRUE(Objects(space).empty());
    EXPECT_FALSE(fs::exists(space.Output() / "objects"));
    EXPECT_EQ("(no key)", space.ManifestKey("a.txt", "Object"));
}

struct Damage {
    const char* what;
    std::function<void(const fs::path& tree, const std::string& objectOfA)> apply;
    const char* reason;
};

class VerifyObjectTest : public ::testing::TestWithParam<Damage> {};

TEST_P(VerifyObjectTest, NamesTheDisagreement) {
    Workspace space("verify-objects");
    const int64_t time = ZoneTime("Asia/Seoul", "2026-05-02 17:30:10");
    space.WriteFile("a.txt", std::string(3000, 'a'), time);
    space.WriteFile("b.dll", "bbbb", time);
    space.Describe("[a.txt]\nType=Common\n[b.dll]\nType=Common\n");
    ASSERT_EQ(0, space.Build(SignOptions(space)).code);
    ASSERT_EQ(0, space.Verify().code);

    GetParam().apply(space.Output(), space.ManifestKey("a.txt", "Object"));
    const ToolRun run = space.Verify();
    EXPECT_NE(0, run.code);
    EXPECT_NE(std::string::npos, run.err.find(GetParam().reason)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, VerifyObjectTest,
    ::testing::Values(
        Damage{"object missing",
               [](const fs::path& t, const std::string& a) { fs::remove(t / a); }, "is missing"},
        Damage{"object with other bytes",
               [](const fs::path& t, const std::string& a) {
                   // A file of its own: the object may share its bytes with the package.
                   std::string bytes = ReadAll(t / a);
                   bytes[40] = '\x55';
                   fs::remove(t / a);
                   std::ofstream(t / a, std::ios::binary) << bytes;
               },
               "differs from"},
        Damage{"object of the other package",
               [](const fs::path& t, const std::string& a) {
                   const std::string b = ObjectOf(ReadAll(t / "RudovuZado/b.dll.zip"));
                   RewriteManifest(t, "Object=" + a, "Object=" + b);
               },
               "differs from"},
        Damage{"object of another shape",
               [](const fs::path& t, const std::string& a) {
                   RewriteManifest(t, "Object=" + a, "Object=RudovuZado/a.txt.zip");
               },
               "is not objects/<SHA-256 of the package>.zip"},
        Damage{"file not named by its digest",
               [](const fs::path& t, const std::string&) {
                   fs::copy_file(t / "RudovuZado/a.txt.zip",
                                 t / "objects" / (std::string(64, 'a') + ".zip"));
               },
               "is not named by its SHA-256"},
        Damage{"stray file",
               [](const fs::path& t, const std::string&) {
                   std::ofstream(t / "objects/index.html") << "<html>";
               },
               "index.html is not named by its SHA-256"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return CaseName(info.param.what); });

}  // namespace

namespace {

const char kDate[] = "2026-05-02 17:30";

// The last tree's statement with another serial: its signature no longer holds.
void ForgeSerial(const fs::path& tree) {
    const fs::path package = tree / "RudovuZado.ini.zip";
    CPackageReader reader(package);
    const std::string manifest = reader.ReadFirst(1u << 20);
    std::string statement = reader.ReadEntry(1, ReleaseStatement::longestText);
    const size_t serial = statement.find("Serial: ");
    statement.replace(serial, statement.find('\n', serial) - serial, "Serial: 9999999999999999998");
    CPackageWriter::WriteTexts(package,
                               {{"RudovuZado.ini", manifest}, {ReleaseStatement::entryName, statement}},
                               WallClock{2026, 5, 2, 17, 30, 0});
}

// The last tree's package of a.txt, same bytes, its entry dated 2107.
void ForgeEntryTime(const fs::path& tree, const fs::path& source) {
    CPackageWriter::WriteFile(tree / "RudovuZado" / "a.txt.zip", "a.txt", source,
                              WallClock{2107, 6, 1, 0, 0, 0});
}

uint64_t SerialOf(const fs::path& tree) {
    CPackageReader reader(tree / "RudovuZado.ini.zip");
    const auto parsed = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
    return parsed ? parsed->statement.serial : 0;
}

}  // namespace

// What whoever can write to the web server forges in the last tree is never signed again: a
// last tree that does not verify lends nothing (warning; --strict refuses), and a kept package
// lends its bytes, not its entry's time.
TEST(PublishObjects, ALastTreeLendsOnlyWhatItsSignatureCovers) {
    const struct {
        const char* what;
        std::function<void(const Workspace&)> forge;
        const char* warning;
    } cases[] = {
        {"manifest dated 2107, statement dropped",
         [](const Workspace& space) {
             RewriteManifest(space.Output(), std::string("ModifyDate=") + kDate,
                             "ModifyDate=2107-01-01 00:00");
         },
         "the last tree is not taken: it is not signed"},
        {"serial far ahead", [](const Workspace& space) { ForgeSerial(space.Output()); },
         "the last tree is not taken: its statement is not signed with this key"},
        {"package entry dated 2107",
         [](const Workspace& space) { ForgeEntryTime(space.Output(), space.Release() / "a.txt"); },
         "its entry's time differs from the last manifest's ModifyDate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace space("forged-" + CaseName(c.what));
        space.WriteFile("a.txt", "first a", ZoneTime("Asia/Seoul", "2026-05-02 17:30:10"));
        space.Describe("[a.txt]\nCheckDate=1\nType=Common\n");
        const ToolRun built = space.Build(SignOptions(space));
        ASSERT_EQ(0, built.code) << built.err;
        // Signed clients judge by content: the zone of their clocks is not needed.
        EXPECT_NE(std::string::npos, built.err.find("--clients-tz is not needed for a signed tree"))
            << built.err;
        const uint64_t first = SerialOf(space.Output());

        c.forge(space);
        std::vector<std::string> strict = SignOptions(space);
        strict.push_back("--strict");
        const auto forged = space.Tree();
        const ToolRun refused = space.Build(strict);
        EXPECT_NE(0, refused.code);
        EXPECT_NE(std::string::npos, refused.err.find(c.warning)) << refused.err;
        EXPECT_EQ(forged, space.Tree());

        const ToolRun run = space.Build(SignOptions(space));
        ASSERT_EQ(0, run.code) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.warning)) << run.err;
        EXPECT_EQ(kDate, space.ManifestKey("a.txt", "ModifyDate"));
        EXPECT_GE(SerialOf(space.Output()), first);
        EXPECT_LT(SerialOf(space.Output()), first + 3600);
        EXPECT_EQ(0, RunTool({"verify", "--public-key", (space.Root() / "release.pub").string(),
                              space.Output().string()},
                             space.Root())
                         .code);
    }
}
