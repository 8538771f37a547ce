// What the publisher refuses: one line on standard error, a non-zero exit, and nothing
// written (the last tree stays as it was, no staging folder is left behind).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "PublishTestSupport.h"
#include "verify/ReleaseRules.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

constexpr int64_t kMonday = 1780000000;  // any fixed time
const char* const kGoodDescription =
    "[a.txt]\nCheckDate=1\nType=Common\n"
    "[b.dll]\nTargetDir=bin\nRegister=1\nCheckDate=1\nType=Common\n";

struct Refusal {
    const char* what;
    std::vector<std::string> options;
    std::string description;
    const char* reason;  // part of the one line on standard error
};

class PublishRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(PublishRefusalTest, WritesNothingAndSaysWhyInOneLine) {
    const Refusal& refusal = GetParam();
    Workspace space("refusal");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.WriteFile("bin/b.dll", "beta", kMonday);
    space.Describe(kGoodDescription);
    ASSERT_EQ(0, space.Build().code);
    const auto tree = space.Tree();
    const auto siblings = space.OutputSiblings();
    // A file beyond what a plain archive can describe costs nothing on disk when sparse.
    std::ofstream(space.Release() / "huge.bin");
    fs::resize_file(space.Release() / "huge.bin", (4ull << 30) + 1);
    // Links out of the release folder, to a file and to a folder.
    fs::create_directories(space.Root() / "outside");
    std::ofstream(space.Root() / "outside" / "secret.txt") << "secret";
    fs::create_symlink(space.Root() / "outside" / "secret.txt", space.Release() / "link.txt");
    fs::create_directory_symlink(space.Root() / "outside", space.Release() / "linkdir");

    space.Describe(refusal.description);
    const ToolRun run = space.Build(refusal.options);

    EXPECT_NE(0, run.code) << refusal.what;
    EXPECT_EQ(1u, LineCount(run.err)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(refusal.reason)) << run.err;
    EXPECT_EQ(tree, space.Tree()) << refusal.what;
    EXPECT_EQ(siblings, space.OutputSiblings()) << refusal.what;
}

const std::string kFile = "CheckDate=1\n";

INSTANTIATE_TEST_SUITE_P(
    Description, PublishRefusalTest,
    ::testing::Values(
        Refusal{"backslash in name", {}, "[bin\\b.dll]\n" + kFile, "folder separator"},
        Refusal{"slash in name", {}, "[bin/b.dll]\n" + kFile, "folder separator"},
        Refusal{"parent as name", {}, "[..]\n" + kFile, "\"..\" part"},
        Refusal{"name the platform shortens", {}, "[a.txt.]\n" + kFile, "ending in a dot"},
        Refusal{"device name", {}, "[CON.txt]\n" + kFile, "device name"},
        Refusal{"name that changes the URL", {}, "[a#1.txt]\n" + kFile, "package URL"},
        Refusal{"non-ASCII name", {}, "[\xED\x95\x9C.txt]\n" + kFile, "not plain ASCII"},
        Refusal{"parent in TargetDir", {}, "[b.dll]\nTargetDir=..\\bin\n", "\"..\" part"},
        Refusal{
            "parent deeper in TargetDir", {}, "[b.dll]\nTargetDir=bin/x/../..\n", "\"..\" part"},
        Refusal{"drive in TargetDir", {}, "[b.dll]\nTargetDir=C:\\bin\n", "a drive"},
        Refusal{"drive-relative TargetDir", {}, "[b.dll]\nTargetDir=C:bin\n", "a drive"},
        Refusal{"rooted TargetDir", {}, "[b.dll]\nTargetDir=\\bin\n", "not relative"},
        Refusal{
            "non-ASCII TargetDir", {}, "[b.dll]\nTargetDir=\xC3\xA9t\xC3\xA9\n", "not plain ASCII"},
        Refusal{"non-ASCII Type", {}, "[a.txt]\nType=\xC3\xA9\n", "not plain ASCII"},
        Refusal{"doubled separator in TargetDir", {}, "[b.dll]\nTargetDir=bin//x\n", "empty part"},
        Refusal{"device name in TargetDir", {}, "[b.dll]\nTargetDir=aux\n", "device name"},
        Refusal{"absolute Source", {}, "[a.txt]\nSource=/etc/hostname\n", "absolute"},
        Refusal{"Source outside the release folder",
                {},
                "[a.txt]\nSource=../outside/secret.txt\n",
                "\"..\" part"},
        Refusal{"link to a file outside", {}, "[link.txt]\n", "symbolic link"},
        Refusal{"Source through a linked folder",
                {},
                "[a.txt]\nSource=linkdir/secret.txt\n",
                "symbolic link"},
        Refusal{"TargetDir through a linked folder",
                {},
                "[secret.txt]\nTargetDir=linkdir\n",
                "symbolic link"},
        Refusal{"entry no client installs, strict",
                {"--strict"},
                "[a.txt]\nType=Common\n[b.dll]\nTargetDir=bin\nType=common\n",
                "[b.dll] has Type=common"},
        Refusal{"unsigned, strict", {"--strict"}, kGoodDescription, "the tree is unsigned"},
        Refusal{"test key, strict",
                {"--strict", "--sign-key", PELKO_TEST_KEY_PEM, "--product", "PelkoDesk",
                 "--expires-days", "30"},
                kGoodDescription,
                "signed with the test key of keys/test-only/"},
        Refusal{"missing source", {}, "[a.txt]\n[c.txt]\n", "c.txt is missing"},
        Refusal{"missing Source key file", {}, "[a.txt]\nSource=elsewhere/a.txt\n", "is missing"},
        Refusal{"duplicate section", {}, "[a.txt]\n[A.TXT]\nSource=a.txt\n", "given twice"},
        Refusal{"file beyond a plain archive", {}, "[huge.bin]\n", "too large"},
        Refusal{"computed key",
                {},
                "[a.txt]\nModifyDate=2020-01-01 10:00\n",
                "computed by pelko-publish"},
        Refusal{"misspelt key", {}, "[a.txt]\nChekDate=1\n", "unknown key ChekDate"},
        Refusal{"key given twice", {}, "[a.txt]\nType=A\ntype=B\n", "given twice"},
        Refusal{"FolderType not a number", {}, "[a.txt]\nFolderType=system\n", "whole number"},
        Refusal{"truth value unknown", {}, "[a.txt]\nRegister=maybe\n", "0 or 1"},
        Refusal{"key before any section", {}, "Type=Common\n[a.txt]\n", "first section"},
        Refusal{"unknown clients' zone",
                {"--clients-tz", "Mars/Olympus"},
                kGoodDescription,
                "unknown time zone"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return CaseName(info.param.what); });

// A signed release names its product and expires; neither means anything unsigned. The key
// file is never read for these.
INSTANTIATE_TEST_SUITE_P(
    SigningOptions, PublishRefusalTest,
    ::testing::Values(
        Refusal{"key without product",
                {"--sign-key", "absent.pem", "--expires-days", "30"},
                kGoodDescription,
                "--sign-key needs --product NAME"},
        Refusal{"product with a blank",
                {"--sign-key", "absent.pem", "--product", "Pelko Desk", "--expires-days", "30"},
                kGoodDescription,
                "--product takes 1 to 64 letters"},
        Refusal{"product too long",
                {"--sign-key", "absent.pem", "--product", std::string(65, 'p'), "--expires-days",
                 "30"},
                kGoodDescription,
                "--product takes 1 to 64 letters"},
        Refusal{"key without expiry",
                {"--sign-key", "absent.pem", "--product", "PelkoDesk"},
                kGoodDescription,
                "--sign-key needs --expires-days N"},
        Refusal{"expiry of no days",
                {"--sign-key", "absent.pem", "--product", "PelkoDesk", "--expires-days", "0"},
                kGoodDescription,
                "--expires-days takes a number of days from 1 to "},
        Refusal{"expiry beyond the clients' bound",
                {"--sign-key", "absent.pem", "--product", "PelkoDesk", "--expires-days",
                 std::to_string(ReleaseRules::kMaxReleaseDays + 1)},
                kGoodDescription,
                "--expires-days takes a number of days from 1 to "},
        Refusal{"expiry not a number",
                {"--sign-key", "absent.pem", "--product", "PelkoDesk", "--expires-days", "30x"},
                kGoodDescription,
                "--expires-days takes a number of days from 1 to "},
        Refusal{"product without key",
                {"--product", "PelkoDesk"},
                kGoodDescription,
                "--product needs --sign-key"},
        Refusal{"expiry without key",
                {"--expires-days", "30"},
                kGoodDescription,
                "--expires-days needs --sign-key"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return CaseName(info.param.what); });

TEST(PublishOutputTest, FolderHoldingOtherFilesIsNotReplaced) {
    Workspace space("foreign");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\n");
    fs::create_directories(space.Output());
    std::ofstream(space.Output() / "index.html") << "someone's page";

    const ToolRun run = space.Build();

    EXPECT_NE(0, run.code);
    EXPECT_NE(std::string::npos, run.err.find("holds other files than an update tree"));
    EXPECT_EQ(1u, space.Tree().size());
}

// Without --strict such entries are published, each named in one warning line; so is an
// unsigned tree.
TEST(PublishOutputTest, EntriesNoClientInstallsAreWarnedOfOneLineEach) {
    Workspace space("typewarning");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.WriteFile("bin/b.dll", "beta", kMonday);
    space.WriteFile("c.txt", "gamma", kMonday);
    space.Describe("[a.txt]\n[b.dll]\nTargetDir=bin\nType=common\n[c.txt]\nType=Common\n");

    const ToolRun run = space.Build();

    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(3u, LineCount(run.err)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("warning: ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("warning: the tree is unsigned")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("[a.txt] has no Type")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("[b.dll] has Type=common")) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("[c.txt]")) << run.err;
    EXPECT_EQ(4u, space.Tree().size());
}

// A tree signed with the committed test key, which anyone can sign with, is published with one
// warning line; one signed with a key of the vendor's own, without a word.
TEST(PublishOutputTest, ATreeSignedWithTheTestKeyIsWarnedOf) {
    Workspace keys("testkey");
    const fs::path own = keys.Root() / "own.pem";
    ASSERT_EQ(
        0,
        RunTool({"keygen", own.string(), (keys.Root() / "own.pub").string()}, keys.Root()).code);
    const struct {
        std::string key;
        size_t warnings;
        const char* tree;
    } cases[] = {{PELKO_TEST_KEY_PEM, 1, "testkey-test"}, {own.string(), 0, "testkey-own"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // Each its first tree: a last tree another key signed is not taken, and says so.
        Workspace space(c.tree);
        space.WriteFile("a.txt", "alpha", kMonday);
        space.Describe("[a.txt]\nType=Common\n");
        const ToolRun run =
            space.Build({"--sign-key", c.key, "--product", "PelkoDesk", "--expires-days", "30"});
        EXPECT_EQ(0, run.code) << run.err;
        EXPECT_EQ(c.warnings, LineCount(run.err)) << run.err;
        if (c.warnings)
            EXPECT_EQ(0u, run.err.find("pelko-publish: warning: the tree is signed with the test "
                                       "key of keys/test-only/"))
                << run.err;
    }
}

TEST(PublishOutputTest, MissingParentsOfTheOutputFolderAreMade) {
    Workspace space("parents");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\n");
    const fs::path output = space.Root() / "new" / "deeper" / "PelkoPatch";

    const ToolRun run =
        RunTool({"build", space.Release().string(), space.Description().string(), output.string()},
                space.Root());

    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_TRUE(fs::exists(output / "RudovuZado.ini.zip"));
    EXPECT_EQ(0, RunTool({"verify", output.string()}, space.Root()).code);
}

TEST(PublishOutputTest, ParentThatCannotBeMadeLeavesNoFolderBehind) {
    Workspace space("noparent");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\n");
    // The first folder is made, the second has a name longer than any file system takes.
    const fs::path output = space.Root() / "new" / std::string(300, 'n') / "PelkoPatch";

    const ToolRun run =
        RunTool({"build", space.Release().string(), space.Description().string(), output.string()},
                space.Root());

    EXPECT_NE(0, run.code);
    EXPECT_EQ(1u, LineCount(run.err));
    EXPECT_NE(std::string::npos, run.err.find("cannot make the folder")) << run.err;
    EXPECT_FALSE(fs::exists(space.Root() / "new"));
}

TEST(PublishOutputTest, WrongCommandLineShowsUsage) {
    Workspace space("usage");
    for (const auto& args :
         {std::vector<std::string>{"build", "only-one"}, std::vector<std::string>{"verify"},
          std::vector<std::string>{"publish", "a", "b", "c"}}) {
        const ToolRun run = RunTool(args, space.Root());
        EXPECT_EQ(2, run.code);
        EXPECT_EQ(0u, run.err.find("usage: pelko-publish"));
        EXPECT_EQ(1u, LineCount(run.err));
    }
}

}  // namespace
