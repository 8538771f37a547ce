// Key making, signing and checking a signed tree with the real pelko-publish.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "PublishTestSupport.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPackageWriter.h"
#include "tools/publish/CReleaseSigner.h"
#include "tools/publish/CSigningKey.h"
#include "tools/publish/OpenSslVerify.h"
#include "verify/ReleaseRules.h"
#include "verify/ReleaseStatement.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

constexpr int64_t kMonday = 1780000000;

struct Keys {
    fs::path privateKey, publicKey;
};

Keys MakeKeys(const Workspace& space, const std::string& name) {
    Keys keys{space.Root() / (name + ".pem"), space.Root() / (name + ".pub")};
    const ToolRun run =
        RunTool({"keygen", keys.privateKey.string(), keys.publicKey.string()}, space.Root());
    EXPECT_EQ(0, run.code) << run.err;
    return keys;
}

ParsedStatement StatementOf(const Workspace& space) {
    CPackageReader reader(space.Output() / "RudovuZado.ini.zip");
    EXPECT_EQ(2u, reader.Count());
    return *ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
}

TEST(SigningTest, KeygenWritesAPrivateFileOnlyTheOwnerReadsAndNeverOverwrites) {
    Workspace space("keygen");
    const Keys keys = MakeKeys(space, "release");
    struct stat info {};
    ASSERT_EQ(0, stat(keys.privateKey.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
    const std::string line = ReadAll(keys.publicKey);
    EXPECT_EQ(129u, line.size());
    EXPECT_TRUE(ReleaseRules::ParseKeyList(line));

    const std::string before = ReadAll(keys.privateKey);
    const ToolRun again = RunTool(
        {"keygen", keys.privateKey.string(), (space.Root() / "x.pub").string()}, space.Root());
    EXPECT_NE(0, again.code);
    EXPECT_EQ(before, ReadAll(keys.privateKey));
}

TEST(SigningTest, SignedTreeVerifiesWithItsKeyOnlyAndItsSerialGrows) {
    Workspace space("signed");
    const Keys keys = MakeKeys(space, "release");
    const Keys other = MakeKeys(space, "other");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\nCheckDate=1\nType=Common\n");
    const int64_t before = std::time(nullptr);
    ASSERT_EQ(0,
              space.Build({"--sign-key", keys.privateKey.string(), "--product", "PelkoDesk",
                           "--expires-days", "30"})
                  .code);

    EXPECT_EQ(space.ManifestKey("a.txt", "Sha256"), ToHex(OpenSslVerify::Sha256("alpha")));
    EXPECT_EQ(space.ManifestKey("a.txt", "FileSize"), "5");
    const ParsedStatement first = StatementOf(space);
    EXPECT_EQ(first.statement.manifestDigest, OpenSslVerify::Sha256(space.Manifest()));
    EXPECT_GE(first.statement.serial, static_cast<uint64_t>(before));
    ASSERT_TRUE(first.statement.expires);
    EXPECT_NEAR(*first.statement.expires, before + 30 * 86400, 60);

    const auto verify = [&](const fs::path& key) {
        return RunTool({"verify", "--public-key", key.string(), space.Output().string()},
                       space.Root());
    };
    EXPECT_EQ(0, verify(keys.publicKey).code);
    const ToolRun foreign = verify(other.publicKey);
    EXPECT_NE(0, foreign.code);
    EXPECT_NE(std::string::npos, foreign.err.find("signed by none of the keys")) << foreign.err;
    // Either key of a rotation is enough.
    std::ofstream(space.Root() / "both.pub") << ReadAll(other.publicKey) << ReadAll(keys.publicKey);
    EXPECT_EQ(0, verify(space.Root() / "both.pub").code);

    EXPECT_EQ(first.statement.product, "PelkoDesk");

    // Built again at once, unchanged: a new statement with a larger serial. (A tree of another
    // product is not the last tree: its serial would not count.)
    ASSERT_EQ(0, space.Build({"--sign-key", keys.privateKey.string(), "--product", "PelkoDesk",
                              "--expires-days", std::to_string(ReleaseRules::kMaxReleaseDays)})
                     .code);
    EXPECT_GT(StatementOf(space).statement.serial, first.statement.serial);
    EXPECT_EQ(StatementOf(space).statement.product, "PelkoDesk");
    ASSERT_TRUE(StatementOf(space).statement.expires);
    EXPECT_NEAR(*StatementOf(space).statement.expires, before + ReleaseRules::kMaxReleaseDays * int64_t{86400}, 60);

    // Unsigned again: no statement, so a signed check refuses it.
    ASSERT_EQ(0, space.Build().code);
    const ToolRun unsigned_ = verify(keys.publicKey);
    EXPECT_NE(0, unsigned_.code);
    EXPECT_NE(std::string::npos, unsigned_.err.find("no release statement")) << unsigned_.err;
}

// What an attacker may do to a signed tree, and what verify --public-key says.
struct Spoiling {
    const char* what;
    std::function<void(const fs::path& tree)> apply;
    const char* reason;
};

void PrintTo(const Spoiling& spoiling, std::ostream* out) { *out << spoiling.what; }

const WallClock kStamp{2026, 5, 2, 17, 30, 0};

// The manifest package with entry 0 changed and the statement kept.
void EditManifest(const fs::path& tree) {
    std::string manifest, statement;
    {
        CPackageReader reader(tree / "RudovuZado.ini.zip");
        manifest = reader.ReadFirst(1u << 20);
        statement = reader.ReadEntry(1, ReleaseStatement::longestText);
    }
    manifest.replace(manifest.find("CheckDate=1"), 11, "CheckDate=0");
    CPackageWriter::WriteTexts(tree / "RudovuZado.ini.zip",
                               {{"RudovuZado.ini", manifest}, {"RudovuZado.sig", statement}},
                               kStamp);
}

class SignedVerifyTest : public ::testing::TestWithParam<Spoiling> {};

TEST_P(SignedVerifyTest, NamesWhatTheSignedClientsWouldRefuse) {
    Workspace space("spoiled");
    const Keys keys = MakeKeys(space, "release");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\nCheckDate=1\nType=Common\n");
    ASSERT_EQ(0, space.Build({"--sign-key", keys.privateKey.string(), "--product", "PelkoDesk",
                              "--expires-days", "30"})
                     .code);
    GetParam().apply(space.Output());
    const ToolRun run = RunTool(
        {"verify", "--public-key", keys.publicKey.string(), space.Output().string()}, space.Root());
    EXPECT_NE(0, run.code);
    EXPECT_EQ(1u, LineCount(run.err)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(GetParam().reason)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SignedVerifyTest,
    ::testing::Values(Spoiling{"manifest edited after signing", EditManifest,
                               "names another manifest"},
                      Spoiling{"package of other bytes, same size",
                               [](const fs::path& t) {
                                   // Same name, size and time: only the bytes differ.
                                   const fs::path package = t / "RudovuZado/a.txt.zip";
                                   WallClock stamp;
                                   {
                                       CPackageReader reader(package);
                                       stamp = WallClock::FromDos(reader.First().modDate,
                                                                  reader.First().modTime);
                                   }
                                   CPackageWriter::WriteText(package, "a.txt", "omega", stamp);
                               },
                               "differs from the package's file"},
                      Spoiling{"package of two entries",
                               [](const fs::path& t) {
                                   CPackageWriter::WriteTexts(
                                       t / "RudovuZado/a.txt.zip",
                                       {{"a.txt", "alpha"}, {"PelkoDeskLoader.exe", "x"}}, kStamp);
                               },
                               "more than one entry"}),
    [](const ::testing::TestParamInfo<Spoiling>& info) { return CaseName(info.param.what); });

// A staged rollout: its start and days are signed; a rebuild of the same content keeps its
// start; hold, resume and stop sign the statement again over the very same manifest bytes, and
// only a tree of the signer's own key.
TEST(SigningTest, ARolloutIsSignedKeptAcrossRebuildsAndHeldResumedOrStopped) {
    Workspace space("rollout");
    const Keys keys = MakeKeys(space, "release");
    const Keys other = MakeKeys(space, "other");
    space.WriteFile("a.txt", "alpha", kMonday);
    space.Describe("[a.txt]\nCheckDate=1\nType=Common\n");
    const std::vector<std::string> signing{"--sign-key", keys.privateKey.string(), "--product",
                                           "PelkoDesk",  "--expires-days",         "30"};
    const auto build = [&](std::vector<std::string> extra) {
        std::vector<std::string> options = signing;
        options.insert(options.end(), extra.begin(), extra.end());
        return space.Build(options);
    };
    const auto rollout = [&](const char* action, const fs::path& key) {
        return RunTool({"rollout", action, "--sign-key", key.string(), space.Output().string()},
                       space.Root());
    };
    for (const char* days : {"0", "31", "x"})
        EXPECT_NE(0, build({"--rollout-days", days}).code) << days;
    EXPECT_NE(0, space.Build({"--rollout-days", "5"}).code) << "a rollout needs a signature";

    const int64_t before = std::time(nullptr);
    ASSERT_EQ(0, build({"--rollout-days", "30"}).code);
    const ReleaseStatement first = StatementOf(space).statement;
    ASSERT_TRUE(first.rollout);
    EXPECT_NEAR(first.rollout->start, before, 60);
    EXPECT_EQ(first.rollout->days, 30u);
    EXPECT_FALSE(first.rollout->cap);
    const std::string manifest = space.Manifest();

    // Unchanged content keeps its start (the days may change); new content starts anew.
    const ReleaseRollout kept{first.rollout->start - 86400, 30, std::nullopt};
    {
        ReleaseStatement earlier = first;
        earlier.rollout = kept;
        CPackageWriter::WriteTexts(
            space.Output() / "RudovuZado.ini.zip",
            {{"RudovuZado.ini", manifest},
             {"RudovuZado.sig",
              CReleaseSigner::Signed(CSigningKey::Load(keys.privateKey), earlier)}},
            kStamp);
    }
    ASSERT_EQ(0, build({"--rollout-days", "10"}).code);
    EXPECT_EQ(StatementOf(space).statement.rollout, (ReleaseRollout{kept.start, 10, std::nullopt}));

    // Held at about a tenth (one day of ten), then resumed, then stopped: each a new serial over
    // the same manifest, and verify says so.
    struct Step {
        const char* action;
        std::optional<uint32_t> low, high;  // the cap's bounds; none: no cap
    };
    for (const Step& step :
         {Step{"hold", 100000, 100100}, Step{"resume", {}, {}}, Step{"stop", 0, 0}}) {
        SCOPED_TRACE(step.action);
        const uint64_t serialBefore = StatementOf(space).statement.serial;
        const ToolRun run = rollout(step.action, keys.privateKey);
        ASSERT_EQ(0, run.code) << run.err;
        const ReleaseStatement now = StatementOf(space).statement;
        EXPECT_GT(now.serial, serialBefore);
        EXPECT_EQ(space.Manifest(), manifest);
        ASSERT_TRUE(now.rollout);
        EXPECT_EQ(now.rollout->start, kept.start);
        EXPECT_EQ(now.rollout->cap.has_value(), step.low.has_value());
        if (step.low) {
            EXPECT_GE(*now.rollout->cap, *step.low);
            EXPECT_LE(*now.rollout->cap, *step.high);
        }
        const ToolRun verified =
            RunTool({"verify", "--public-key", keys.publicKey.string(), space.Output().string()},
                    space.Root());
        EXPECT_EQ(0, verified.code) << verified.err;
        EXPECT_NE(verified.out.find(step.low ? "held at" : "not held"), std::string::npos)
            << verified.out;
    }

    // Another key's tree is not signed again; nor is a release without a rollout.
    const std::string package = ReadAll(space.Output() / "RudovuZado.ini.zip");
    EXPECT_NE(0, rollout("resume", other.privateKey).code);
    EXPECT_EQ(ReadAll(space.Output() / "RudovuZado.ini.zip"), package);
    ASSERT_EQ(0, build({}).code);
    EXPECT_FALSE(StatementOf(space).statement.rollout);
    const ToolRun plain = rollout("hold", keys.privateKey);
    EXPECT_NE(0, plain.code);
    EXPECT_NE(plain.err.find("has no rollout"), std::string::npos) << plain.err;
}

TEST(SigningTest, NextSerialOutgrowsTheLastTreeAndTheClock) {
    EXPECT_EQ(CReleaseSigner::NextSerial(0, 1000), 1000u);
    EXPECT_EQ(CReleaseSigner::NextSerial(1000, 1000), 1001u);
    EXPECT_EQ(CReleaseSigner::NextSerial(5000, 1000), 5001u);
    EXPECT_EQ(CReleaseSigner::NextSerial(0, -5), 1u);
}

}  // namespace
