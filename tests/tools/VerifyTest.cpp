// verify reads a tree as the clients will and names the first disagreement.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "PublishTestSupport.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

struct Damage {
    const char* what;
    std::function<void(const fs::path& tree)> apply;
    const char* reason;
};

class VerifyTest : public ::testing::TestWithParam<Damage> {};

TEST_P(VerifyTest, NamesTheDisagreement) {
    Workspace space("verify");
    space.WriteFile("a.txt", std::string(5000, 'a'), ZoneTime("Asia/Seoul", "2026-05-02 17:30:10"));
    space.WriteFile("b.dll", "bbbb", ZoneTime("Asia/Seoul", "2026-05-02 17:30:20"));
    space.Describe("[a.txt]\nCheckDate=1\n[b.dll]\nRegister=1\n");
    ASSERT_EQ(0, space.Build({"--clients-tz", "Asia/Seoul"}).code);
    const ToolRun good = space.Verify();
    ASSERT_EQ(0, good.code) << good.err;
    EXPECT_NE(std::string::npos, good.out.find("2 packages"));

    GetParam().apply(space.Output());
    const ToolRun run = space.Verify();
    EXPECT_NE(0, run.code);
    EXPECT_EQ(1u, LineCount(run.err)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(GetParam().reason)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, VerifyTest,
    ::testing::Values(
        Damage{"no manifest", [](const fs::path& t) { fs::remove(t / "RudovuZado.ini.zip"); },
               "RudovuZado.ini.zip is missing"},
        Damage{"package missing", [](const fs::path& t) { fs::remove(t / "RudovuZado/b.dll.zip"); },
               "b.dll.zip is missing"},
        Damage{"package of another file",
               [](const fs::path& t) {
                   fs::copy_file(t / "RudovuZado/a.txt.zip", t / "RudovuZado/b.dll.zip",
                                 fs::copy_options::overwrite_existing);
               },
               "entry 0 is \"a.txt\""},
        Damage{"damaged data",
               [](const fs::path& t) {
                   std::fstream f(t / "RudovuZado/a.txt.zip",
                                  std::ios::in | std::ios::out | std::ios::binary);
                   f.seekp(40);
                   f.put('\x55');
               },
               "a.txt.zip: "},
        Damage{"not a ZIP file",
               [](const fs::path& t) {
                   std::ofstream(t / "RudovuZado/b.dll.zip", std::ios::trunc) << "<html>";
               },
               "b.dll.zip: "},
        Damage{"wrong size",
               [](const fs::path& t) { RewriteManifest(t, "FileSize=4", "FileSize=5"); },
               "FileSize 5 but the package holds 4 bytes"},
        Damage{"date of another minute",
               [](const fs::path& t) {
                   RewriteManifest(t, "ModifyDate=2026-05-02 17:30\r\nFileSize=5000",
                                   "ModifyDate=2026-05-02 17:31\r\nFileSize=5000");
               },
               "ModifyDate 2026-05-02 17:31 but the package's file time is 2026-05-02 17:30"},
        Damage{"stray package",
               [](const fs::path& t) {
                   fs::copy_file(t / "RudovuZado/a.txt.zip", t / "RudovuZado/old.txt.zip");
               },
               "old.txt.zip belongs to no section"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return CaseName(info.param.what); });

}  // namespace
