// The tree a release gives: the same release gives the same bytes, a changed file changes
// only its package and its section's date, and packages hold what the clients expect.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "PublishTestSupport.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/ServedTime.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

const char* const kSeoul = "Asia/Seoul";
const std::vector<std::string> kOptions = {"--clients-tz", kSeoul};

const char* const kDescription =
    "; the release of one product\n"
    "[PelkoDeskLoader.exe]\nCheckDate=1\nType=Common\n"
    "[RegisterRecorder.dll]\nTargetDir=bin\\com\nRegister=1\nCheckDate=1\nType=Common\n"
    "[readme.txt]\nSource=docs/readme-en.txt\nFolderType=38\nTargetDir=Pelko\nType=Docs\n";

void WriteRelease(Workspace& space) {
    space.WriteFile("PelkoDeskLoader.exe", std::string(100000, 'x') + "loader",
                    ZoneTime(kSeoul, "2026-05-02 17:29:59"));
    space.WriteFile("bin/com/RegisterRecorder.dll", "register me",
                    ZoneTime(kSeoul, "2026-05-02 17:30:00"));
    space.WriteFile("docs/readme-en.txt", "read me", ZoneTime(kSeoul, "2026-05-02 17:30:59"));
    space.Describe(kDescription);
}

// The manifest's lines that differ between two trees.
std::vector<std::string> ChangedLines(const std::string& before, const std::string& after) {
    std::vector<std::string> lines;
    std::istringstream a(before), b(after);
    std::string x, y;
    while (std::getline(a, x) && std::getline(b, y))
        if (x != y) lines.push_back(y.substr(0, y.find('\r')));
    return lines;
}

TEST(PublishTreeTest, SameReleaseGivesSameBytes) {
    Workspace first("same1"), second("same2");
    WriteRelease(first);
    WriteRelease(second);
    ASSERT_EQ(0, first.Build(kOptions).code);
    ASSERT_EQ(0, second.Build(kOptions).code);
    const auto tree = first.Tree();
    EXPECT_EQ(tree, second.Tree());
    EXPECT_EQ(4u, tree.size());

    const ToolRun again = first.Build(kOptions);
    EXPECT_EQ(0, again.code);
    EXPECT_NE(std::string::npos, again.out.find("0 packages written, 3 kept"));
    EXPECT_EQ(tree, first.Tree());
    EXPECT_EQ(std::vector<std::string>{"PelkoPatch"}, first.OutputSiblings());
}

TEST(PublishTreeTest, ManifestAndPackagesAreWhatTheClientsRead) {
    Workspace space("layout");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    EXPECT_EQ(
        "[PelkoDeskLoader.exe]\r\nFolderType=0\r\nTargetDir=\r\nModifyDate=2026-05-02 17:29\r\n"
        "FileSize=100006\r\nRegister=0\r\nCheckDate=1\r\nType=Common\r\n\r\n"
        "[RegisterRecorder.dll]\r\nFolderType=0\r\nTargetDir=bin\\com\r\n"
        "ModifyDate=2026-05-02 17:30\r\nFileSize=11\r\nRegister=1\r\nCheckDate=1\r\n"
        "Type=Common\r\n\r\n"
        "[readme.txt]\r\nFolderType=38\r\nTargetDir=Pelko\r\nModifyDate=2026-05-02 17:30\r\n"
        "FileSize=7\r\nRegister=0\r\nCheckDate=0\r\nType=Docs\r\n\r\n",
        space.Manifest());

    CPackageReader package(space.Output() / "RudovuZado" / "PelkoDeskLoader.exe.zip");
    const CZipFileHeader& entry = package.First();
    EXPECT_EQ("PelkoDeskLoader.exe", package.FirstName());
    EXPECT_EQ(8, entry.method);
    EXPECT_EQ(10, entry.versionMadeBy >> 8);  // Windows NTFS: the name in the ANSI code page
    EXPECT_EQ(0x20u, entry.externalAttributes);
    EXPECT_EQ(0u, entry.flags & 0x0809u);    // not encrypted, no data descriptor, no UTF-8 flag
    EXPECT_LT(entry.compressedSize, 1000u);  // deflated
    // No extra fields (such as Unix times) in the local header or the central record.
    const std::string bytes = ReadAll(package.Path());
    const auto field = [&](size_t at) {
        return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8;
    };
    const size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(std::string::npos, central);
    EXPECT_EQ(0, field(28));            // local extra field length
    EXPECT_EQ(0, field(central + 30));  // central extra field length
    EXPECT_EQ(0x5CA2, entry.modDate);   // 2026-05-02
    EXPECT_EQ(0x8BBD, entry.modTime);   // 17:29:58, the even second before 17:29:59
}

TEST(PublishTreeTest, ChangedFileChangesOnlyItsPackageAndDate) {
    Workspace space("changed");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    const auto before = space.Tree();
    const std::string manifest = space.Manifest();
    EXPECT_EQ(0x8BDD, CPackageReader(space.Output() / "RudovuZado.ini.zip").First().modTime);

    // One file changed, one only touched (a rebuild that made the same bytes).
    space.WriteFile("bin/com/RegisterRecorder.dll", "register me too",
                    ZoneTime(kSeoul, "2026-06-10 09:15:20"));
    space.WriteFile("PelkoDeskLoader.exe", std::string(100000, 'x') + "loader",
                    ZoneTime(kSeoul, "2026-06-10 09:15:20"));
    const ToolRun run = space.Build(kOptions);
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("1 packages written, 2 kept"));

    const auto after = space.Tree();
    for (const auto& [path, bytes] : after)
        EXPECT_EQ(path == "RudovuZado.ini.zip" || path == "RudovuZado/RegisterRecorder.dll.zip",
                  bytes != before.at(path))
            << path;
    EXPECT_EQ((std::vector<std::string>{"ModifyDate=2026-06-10 09:15", "FileSize=15"}),
              ChangedLines(manifest, space.Manifest()));
    // The manifest's entry carries the newest file time.
    EXPECT_EQ(0x49EA, CPackageReader(space.Output() / "RudovuZado.ini.zip").First().modTime);
    EXPECT_EQ(0, space.Verify().code);
}

TEST(PublishTreeTest, NewManifestNeverCarriesTheLastOnesTime) {
    // Profile readers may cache a file by its name and last-write time (Wine's does).
    Workspace space("manifesttime");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    std::string description = kDescription;
    description.replace(description.find("Type=Docs"), 9, "Type=Common");
    space.Describe(description);
    ASSERT_EQ(0, space.Build(kOptions).code);
    CPackageReader manifest(space.Output() / "RudovuZado.ini.zip");
    EXPECT_EQ(0x8BE0, manifest.First().modTime);  // 17:31:00, two seconds after 17:30:58
    EXPECT_EQ(0, space.Verify().code);
}

TEST(PublishTreeTest, ServedTimeIsInALaterSecondThanThePreviousFile) {
    using std::chrono::milliseconds;
    const fs::file_time_type base =
        std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
    struct Row {
        const char* what;
        milliseconds written, previous, expected;
    } rows[] = {
        {"written within the previous one's second", milliseconds(300), milliseconds(700),
         milliseconds(1000)},
        {"written at the previous one's time", milliseconds(0), milliseconds(0),
         milliseconds(1000)},
        {"previous one ahead of the clock", milliseconds(0), milliseconds(5500),
         milliseconds(6000)},
        {"written seconds later", milliseconds(4200), milliseconds(900), milliseconds(4200)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(base + row.expected, ServedTime::After(base + row.written, base + row.previous))
            << row.what;
}

TEST(PublishTreeTest, NewManifestNeverLooksLikeTheLastOneToAWebServer) {
    // Published within one second of the last tree (here: the last one is dated ahead), the
    // new manifest would share its validators.
    Workspace space("servedtime");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    const fs::path manifest = space.Output() / "RudovuZado.ini.zip";
    const fs::file_time_type ahead = std::chrono::floor<std::chrono::seconds>(
        fs::file_time_type::clock::now() + std::chrono::hours(1));
    fs::last_write_time(manifest, ahead + std::chrono::milliseconds(400));

    std::string description = kDescription;
    description.replace(description.find("Type=Docs"), 9, "Type=Common");
    space.Describe(description);
    ASSERT_EQ(0, space.Build(kOptions).code);
    EXPECT_EQ(ahead + std::chrono::seconds(1), fs::last_write_time(manifest));

    // The same bytes again keep their time: clients holding them are rightly not sent them.
    fs::last_write_time(manifest, ahead + std::chrono::milliseconds(1500));
    ASSERT_EQ(0, space.Build(kOptions).code);
    EXPECT_EQ(ahead + std::chrono::milliseconds(1500), fs::last_write_time(manifest));
    EXPECT_EQ(0, space.Verify().code);
}

TEST(PublishTreeTest, DamagedPackageOfTheLastTreeIsMadeAnew) {
    Workspace space("damaged");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    const fs::path package = space.Output() / "RudovuZado" / "PelkoDeskLoader.exe.zip";
    fs::resize_file(package, 100);

    const ToolRun run = space.Build(kOptions);
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("1 packages written, 2 kept"));
    // Clients may hold the file from before: the new package is dated after it.
    EXPECT_EQ("2026-05-02 17:30", space.ManifestKey("PelkoDeskLoader.exe", "ModifyDate"));
    EXPECT_EQ(0, space.Verify().code);
}

TEST(PublishTreeTest, ChangedFileWithoutLaterMinuteGetsTheNextMinute) {
    // Clients holding the last release's file would keep it if the new date were not later.
    for (const char* modified : {"2026-05-02 17:30:40", "2026-01-01 08:00:00"}) {
        Workspace space("sameminute");
        WriteRelease(space);
        ASSERT_EQ(0, space.Build(kOptions).code);
        space.WriteFile("bin/com/RegisterRecorder.dll", "rebuilt", ZoneTime(kSeoul, modified));
        ASSERT_EQ(0, space.Build(kOptions).code);
        EXPECT_EQ("2026-05-02 17:31", space.ManifestKey("RegisterRecorder.dll", "ModifyDate"))
            << modified;
        CPackageReader package(space.Output() / "RudovuZado" / "RegisterRecorder.dll.zip");
        EXPECT_EQ(0x8BE0, package.First().modTime);  // 17:31:00
        EXPECT_EQ(0, space.Verify().code);
    }
}

TEST(PublishTreeTest, ReaderNeverSeesAMissingOrPartialFileWhileTheTreeIsReplaced) {
    Workspace space("swap");
    WriteRelease(space);
    ASSERT_EQ(0, space.Build(kOptions).code);
    const auto tree = space.Tree();
    const fs::path manifest = space.Output() / "RudovuZado.ini.zip";
    const fs::path package = space.Output() / "RudovuZado" / "PelkoDeskLoader.exe.zip";

    // What a web server does for each request: open by path, read it all.
    std::atomic<bool> publishing{true};
    std::atomic<int> reads{0}, wrong{0};
    std::thread reader([&] {
        while (publishing && reads < 1000000) {
            if (ReadAll(manifest) != tree.at("RudovuZado.ini.zip")) ++wrong;
            if (ReadAll(package) != tree.at("RudovuZado/PelkoDeskLoader.exe.zip")) ++wrong;
            ++reads;
        }
    });
    for (int i = 0; i < 5; ++i) EXPECT_EQ(0, space.Build(kOptions).code);
    publishing = false;
    reader.join();

    EXPECT_GT(reads, 0);
    EXPECT_EQ(0, wrong);
    EXPECT_EQ(tree, space.Tree());
}

}  // namespace
