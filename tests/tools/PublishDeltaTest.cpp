// Deltas from earlier trees with the real pelko-publish: what is made, what is dropped, what is
// refused, and what verify finds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "PublishTestSupport.h"
#include "tools/publish/DeltaObjects.h"
#include "tools/publish/OpenSslVerify.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

constexpr int64_t kMonday = 1780000000;
const std::string kDescription =
    "[lib.dll]\nType=Common\n[noise.bin]\nType=Common\n[same.txt]\nType=Common\n";

// Bytes like code: a few values repeating, so that an edit leaves most of them in place.
std::string Code(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>("\x00\x48\x8b\x89\xe8\xff\x0f"[random() % 7]);
    return bytes;
}

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string Fixed(std::string bytes) {
    for (size_t i = 500; i < bytes.size(); i += 5000) bytes[i] = 'F';
    bytes.insert(bytes.size() / 2, "a small fix");
    return bytes;
}

class PublishDeltaTest : public testing::Test {
protected:
    PublishDeltaTest() : space("delta") {
        const ToolRun run = RunTool({"keygen", key.string(), publicKey.string()}, space.Root());
        EXPECT_EQ(0, run.code) << run.err;
        space.Describe(kDescription);
    }

    // Publishes a release and keeps a copy of its tree under name.
    fs::path Publish(const std::string& name, const std::string& lib, const std::string& noise,
                     int64_t time, const std::vector<std::string>& extra = {}) {
        space.WriteFile("lib.dll", lib, time);
        space.WriteFile("noise.bin", noise, time);
        space.WriteFile("same.txt", "unchanged", kMonday);
        std::vector<std::string> options{"--sign-key", key.string(), "--product", "PelkoTest",
                                         "--expires-days", "30"};
        options.insert(options.end(), extra.begin(), extra.end());
        last = space.Build(options);
        EXPECT_EQ(0, last.code) << last.err;
        const fs::path copy = space.Root() / name;
        fs::remove_all(copy);
        fs::copy(space.Output(), copy, fs::copy_options::recursive);
        return copy;
    }

    ToolRun VerifyWith(const std::vector<fs::path>& trees) const {
        std::vector<std::string> args{"verify", "--public-key", publicKey.string()};
        for (const fs::path& tree : trees) args.insert(args.end(), {"--delta-from", tree.string()});
        args.push_back(space.Output().string());
        return RunTool(args, space.Root());
    }

    Workspace space;
    fs::path key = space.Root() / "release.pem";
    fs::path publicKey = space.Root() / "release.pub";
    ToolRun last;
};

TEST_F(PublishDeltaTest, AChangedFileGetsADeltaFromEachEarlierVersion) {
    const std::string lib1 = Code(150000, 1);
    const std::string lib2 = Fixed(lib1);
    const std::string lib3 = Fixed(lib2);
    const fs::path v1 = Publish("v1", lib1, Noise(50000, 1), kMonday);
    const fs::path v2 =
        Publish("v2", lib2, Noise(50000, 2), kMonday + 86400, {"--delta-from", v1.string()});
    Publish(
        "v3", lib3, Noise(50000, 3), kMonday + 2 * 86400,
        {"--delta-from", v2.string(), "--delta-from", v1.string(), "--delta-from", v2.string()});

    // Two distinct earlier versions of lib.dll, each once.
    const std::string sha1 = ToHex(OpenSslVerify::Sha256(lib1));
    const std::string sha2 = ToHex(OpenSslVerify::Sha256(lib2));
    std::set<std::string> bases;
    for (const char* name : {"Delta1", "Delta2"}) {
        const auto delta = DeltaObjects::ParseKey(space.ManifestKey("lib.dll", name));
        ASSERT_TRUE(delta) << name;
        bases.insert(delta->baseSha256);
        const fs::path object = DeltaObjects::ObjectPath(space.Output(), delta->sha256);
        ASSERT_TRUE(fs::is_regular_file(object)) << name;
        EXPECT_EQ(delta->size, fs::file_size(object));
        // A small fix to 150 KB is a small delta.
        EXPECT_LT(delta->size, 3000u) << name;
    }
    EXPECT_EQ((std::set<std::string>{sha1, sha2}), bases);
    EXPECT_EQ("(no key)", space.ManifestKey("lib.dll", "Delta3"));
    // New noise gains nothing from a delta; an unchanged file needs none.
    EXPECT_EQ("(no key)", space.ManifestKey("noise.bin", "Delta1"));
    EXPECT_EQ("(no key)", space.ManifestKey("same.txt", "Delta1"));

    const ToolRun verify = VerifyWith({v1, v2});
    EXPECT_EQ(0, verify.code) << verify.err;
    EXPECT_NE(std::string::npos, verify.out.find("2 deltas applied")) << verify.out;
}

TEST_F(PublishDeltaTest, VerifyFindsADamagedOrStrayDelta) {
    const std::string lib1 = Code(100000, 4);
    const fs::path v1 = Publish("v1", lib1, Noise(1000, 4), kMonday);
    Publish("v2", Fixed(lib1), Noise(1000, 5), kMonday + 86400, {"--delta-from", v1.string()});
    const auto delta = DeltaObjects::ParseKey(space.ManifestKey("lib.dll", "Delta1"));
    ASSERT_TRUE(delta);
    const fs::path object = DeltaObjects::ObjectPath(space.Output(), delta->sha256);
    const std::string good = ReadAll(object);
    ASSERT_EQ(0, VerifyWith({v1}).code);

    const struct {
        const char* what;
        std::function<void()> damage;
        const char* expected;
    } cases[] = {
        {"a byte changed",
         [&] {
             std::string bytes = good;
             bytes[bytes.size() / 2] ^= 1;
             std::ofstream(object, std::ios::binary) << bytes;
         },
         "SHA-256"},
        {"missing", [&] { fs::remove(object); }, "object is missing"},
        {"a stray object",
         [&] {
             std::ofstream(space.Output() / "objects" /
                           (ToHex(OpenSslVerify::Sha256("x")) + ".pdelta"))
                 << "x";
         },
         "belongs to no entry"},
    };
    for (const auto& c : cases) {
        c.damage();
        const ToolRun run = VerifyWith({v1});
        EXPECT_NE(0, run.code) << c.what;
        EXPECT_NE(std::string::npos, run.err.find(c.expected)) << c.what << ": " << run.err;
        // Back to the built tree: its delta alone beside the packages' objects.
        for (const auto& item : fs::directory_iterator(space.Output() / "objects"))
            if (item.path().extension() == ".pdelta") fs::remove(item.path());
        std::ofstream(object, std::ios::binary) << good;
    }
}

TEST_F(PublishDeltaTest, RefusesTreesItCannotTrust) {
    const fs::path v1 = Publish("v1", Code(1000, 6), Noise(1000, 6), kMonday);
    const fs::path otherKey = space.Root() / "other.pem";
    ASSERT_EQ(0, RunTool({"keygen", otherKey.string(), (space.Root() / "other.pub").string()},
                         space.Root())
                     .code);
    space.WriteFile("lib.dll", Code(1000, 7), kMonday + 86400);
    const struct {
        const char* what;
        std::vector<std::string> options;
        const char* expected;
    } cases[] = {
        {"unsigned build", {"--delta-from", v1.string()}, "needs --sign-key"},
        {"another key",
         {"--sign-key", otherKey.string(), "--product", "PelkoTest", "--expires-days", "30",
          "--delta-from", v1.string()},
         "signed by none of the keys"},
        {"not a tree",
         {"--sign-key", key.string(), "--product", "PelkoTest", "--expires-days", "30",
          "--delta-from", space.Release().string()},
         "--delta-from"},
        {"six trees",
         {"--sign-key", key.string(), "--product", "PelkoTest", "--expires-days", "30",
          "--delta-from", v1.string(), "--delta-from", v1.string(),
          "--delta-from", v1.string(), "--delta-from", v1.string(), "--delta-from", v1.string(),
          "--delta-from", v1.string()},
         "at most 5"},
    };
    for (const auto& c : cases) {
        const ToolRun run = space.Build(c.options);
        EXPECT_NE(0, run.code) << c.what;
        EXPECT_NE(std::string::npos, run.err.find(c.expected)) << c.what << ": " << run.err;
    }
}

}  // namespace
