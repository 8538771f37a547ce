// End to end under Wine: a release published with deltas from the one installed (fixture
// make_publish_trees.sh, tree4 over tree3), served on loopback and brought in by the update
// manager. A changed file arrives as its delta; whatever spoils the delta, the file still
// arrives in the same run, as its package. (The program's run time uses the system's zone: see
// PublishClientTest.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../download/DebugLines.h"
#include "../update/RecordingNotify.h"
#include "../update/UpdateTestFiles.h"
#include "delta/DeltaPacking.h"
#include "download/ProgressText.h"
#include "framework/CException.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/IUpdateManagerLite.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"
#include "zip/CZipArchive.h"

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

// One byte of the file changed, its time kept: the check still finds it outdated.
void ChangeKeepingTime(const fs::path& path) {
    const fs::file_time_type time = fs::last_write_time(path);
    std::string bytes = Bytes(path);
    bytes[0] ^= 0x01;
    WriteBytes(path, bytes);
    fs::last_write_time(path, time);
}

// The manifest a tree's manifest package holds (its entry 0), read by the component's reader.
std::string ManifestOf(const fs::path& tree) {
    CZipArchive archive;
    std::string text;
    try {
        archive.OpenArchive((tree / "RudovuZado.ini.zip").wstring(), CZipArchive::zipOpenReadOnly);
        if (archive.OpenEntry(0)) {
            char buffer[4096];
            while (const unsigned n = archive.ReadEntryData(buffer, sizeof buffer))
                text.append(buffer, n);
            archive.CloseEntry(nullptr);
        }
        archive.CloseArchive(1);
    } catch (CException* error) {
        error->Delete();
        text.clear();
    }
    return text;
}

std::string Sha256Text(const std::string& bytes) {
    return ToHex(CSha256::Of(bytes.data(), bytes.size()));
}

// A well-formed delta from base whose result is result: every byte as a difference.
std::string DeltaOf(const std::string& base, const std::string& result) {
    DeltaStreams streams;
    AppendTriple(streams.control, static_cast<int64_t>(result.size()), 0, 0);
    streams.diff.resize(result.size());
    for (size_t i = 0; i < result.size(); ++i)
        streams.diff[i] = static_cast<uint8_t>(result[i] - base[i]);
    const std::vector<uint8_t> packed = PackDelta(base.size(), result.size(), streams);
    return std::string(packed.begin(), packed.end());
}

// Sets key in the changed file's section of the manifest, replacing its value.
void SetChangedFileValue(std::string& manifest, const std::string& key, const std::string& value) {
    const size_t section = manifest.find("[big.bin]");
    const size_t line = manifest.find("\n" + key + "=", section);
    ASSERT_NE(std::string::npos, section);
    ASSERT_NE(std::string::npos, line);
    const size_t start = line + key.size() + 2;
    manifest.replace(start, manifest.find('\n', start) - start, value);
}

// The changed file's ModifyDate in the manifest.
std::string ChangedFileDate(const std::string& manifest) {
    const size_t section = manifest.find("[big.bin]");
    const size_t line = manifest.find("\nModifyDate=", section);
    if (section == std::string::npos || line == std::string::npos) return std::string();
    const size_t start = line + 12;
    return manifest.substr(start, manifest.find_first_of("\r\n", start) - start);
}

// The file's last-write minute in local time, as a ModifyDate is written.
std::string WriteMinute(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME utc, local;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return std::string();
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", local.wYear, local.wMonth, local.wDay,
             local.wHour, local.wMinute);
    return text;
}

// Delta parts by name, with their sizes.
using PartSizes = std::map<std::wstring, uintmax_t>;

// The delta parts in the parts folder.
PartSizes DeltaParts(const fs::path& folder) {
    PartSizes parts;
    std::error_code missing;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, missing))
        if (entry.path().extension() == ".pdelta")
            parts[entry.path().filename().wstring()] = entry.file_size();
    return parts;
}

// A check, then the downloads with installation right after them; the final event, and the
// total the last progress report showed. afterCheck runs between the two.
std::wstring UpdateOnce(const updatetree::CUpdateTreeServer& server, const std::wstring& install,
                        int& pending, std::wstring* shownTotal = nullptr,
                        const std::function<void()>& afterCheck = nullptr) {
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(server.Url(), install));
    manager->AddTypeFilter(L"Common");
    pending = manager->CheckForUpdates();
    if (pending <= 0) return std::wstring();
    if (afterCheck) afterCheck();
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
    // The start of the log line that says the changed file was put in place.
    std::wstring InstalledLine() const {
        return L"CInstallLite::Install, checked and installed " +
               fs::path(Installed()).make_preferred().wstring();
    }
    fs::path Tree() const { return fs::path(served.Path()) / "tree4"; }
    fs::path ServedDelta() const { return Tree() / delta.substr(1); }

    // What the server sent for the delta: the range asked ("" for none) and the body's bytes.
    struct DeltaServed {
        std::string range;
        uint64_t bytes = 0;
    };

    // The release's update: the run ends complete with release4's bytes installed, and the
    // next check finds nothing to do. The packages and deltas the run asked for. The server
    // answers ranges, as the web servers of the field do.
    std::vector<std::string> UpdateToRelease4(std::wstring* shownTotal = nullptr,
                                              const std::function<void()>& afterCheck = nullptr,
                                              DeltaServed* deltaServed = nullptr) {
        updatetree::CUpdateTreeServer server(Tree().wstring(), kPrefix);
        server.HonourRanges(true);
        server.SendLastModified(true);
        int pending = 0;
        uint64_t before = 0;
        EXPECT_EQ(L"complete", UpdateOnce(server, install.Path(), pending, shownTotal, [&] {
                      if (afterCheck) afterCheck();
                      before = server.BodyBytesSent();
                  }));
        EXPECT_EQ(1, pending);
        if (deltaServed) {
            // The download phase asked for the delta alone.
            const std::vector<std::string> paths = server.Requests();
            const std::vector<std::string> ranges = server.Ranges();
            const auto asked = std::find(paths.begin(), paths.end(), delta);
            if (asked != paths.end()) deltaServed->range = ranges[asked - paths.begin()];
            deltaServed->bytes = server.BodyBytesSent() - before;
        }
        EXPECT_TRUE(Bytes(kTrees / "release4" / kChanged) == Bytes(Installed()));
        const std::vector<std::string> fetched = Objects(server);
        int again = -1;
        UpdateOnce(server, install.Path(), again);
        EXPECT_EQ(0, again);
        return fetched;
    }

    std::wstring PartsFolder() const {
        return UpdateWorkPaths::PartsFolder(UpdateWorkPaths::WorkFolder(install.Path()));
    }

    // The served manifest, changed by edit and signed anew.
    void Republish(const std::function<void(std::string& manifest)>& edit) {
        std::string manifest = ManifestOf(Tree());
        edit(manifest);
        updatetree::CUpdateTree(Tree().wstring()).PublishManifest(manifest);
    }

    // Serves a delta from base to result as the changed file's one offer, in place of the
    // tree's: its size and SHA-256 signed as a release's own.
    void ServeDelta(const std::string& base, const std::string& result) {
        const std::string bytes = DeltaOf(base, result);
        const std::string sha = Sha256Text(bytes);
        WriteBytes(Tree() / "objects" / (sha + ".pdelta"), bytes);
        delta = "/objects/" + sha + ".pdelta";
        Republish([&](std::string& manifest) {
            SetChangedFileValue(manifest, "Delta1",
                                Sha256Text(base) + ":" + std::to_string(bytes.size()) + ":" + sha);
        });
    }

    // A run stopped while the delta came: its part stays for the next run.
    void LeaveDeltaPart() {
        updatetree::CUpdateTreeServer server(Tree().wstring(), kPrefix);
        // A part is resumed by a later run only with the validator its answer came with.
        server.SendLastModified(true);
        updatetest::RecordingNotify notify;
        std::unique_ptr<IUpdateManagerLite> manager(
            CreateUpdateManagerLite(server.Url(), install.Path()));
        manager->AddTypeFilter(L"Common");
        ASSERT_EQ(1, manager->CheckForUpdates());
        // The rest of the body never comes: only the stop ends the phase.
        server.HoldAfter(1024);
        notify.onProgress = [&](const updatetest::RecordingNotify::Progress& progress) {
            if (progress.filePercent > 0) manager->StopDownload();
        };
        ASSERT_EQ(1, manager->StartDownload(&notify, true));
        EXPECT_TRUE(notify.WaitForDownloadEnd());
        EXPECT_EQ(L"stopped", notify.Events().back());
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
    // The log names what was applied: the delta, not a package that never came.
    const std::wstring object(scene.delta.begin() + 1, scene.delta.end());
    EXPECT_EQ(1, lines.CountContaining(scene.InstalledLine() + L" from its delta " + object));
    EXPECT_EQ(0, lines.CountContaining(scene.InstalledLine() + L".zip"));
    // Rebuilt from its delta, the file carries the signed date, as one from a package does.
    const std::string date = ChangedFileDate(ManifestOf(scene.Tree()));
    ASSERT_FALSE(date.empty());
    EXPECT_EQ(date, WriteMinute(scene.Installed()));
    // The phase's figures count the bytes fetched, not the file's.
    EXPECT_EQ(ProgressText::SizeText(deltaSize), shownTotal);
}

TEST(PublishedDelta, ASpoiledDeltaGivesWayToThePackageInTheSameRun) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> spoil;       // before the check
        std::function<void(Scene&)> afterCheck;  // between the check and the downloads
        const wchar_t* why;  // the log line's reason; none when no delta is asked for
    };
    const Case cases[] = {
        {"delta object missing", [](Scene& s) { fs::remove(s.ServedDelta()); }, nullptr,
         L"the delta was not received"},
        {"delta corrupt",
         [](Scene& s) {
             std::string bytes = Bytes(s.ServedDelta());
             bytes[bytes.size() / 2] ^= 0x40;
             WriteBytes(s.ServedDelta(), bytes);
         },
         // Refused by its name before the delta code reads a byte of it.
         nullptr, L"the object's SHA-256 differs from its name"},
        {"installed file is not the base", [](Scene& s) { ChangeKeepingTime(s.Installed()); },
         nullptr, nullptr},
        {"installed file changes after the check", nullptr,
         [](Scene& s) { ChangeKeepingTime(s.Installed()); },
         L"the installed file is no longer the delta's base"},
        {"signed delta decodes to other bytes",
         [](Scene& s) {
             std::string result = Bytes(kTrees / "release4" / kChanged);
             result[0] ^= 0x01;
             s.ServeDelta(Bytes(kTrees / "release3" / kChanged), result);
         },
         nullptr, L"the delta's result differs from the signed size or SHA-256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        ASSERT_FALSE(scene.delta.empty());
        if (c.spoil) c.spoil(scene);
        downloadtest::DebugLines lines;
        std::wstring shownTotal;
        const std::vector<std::string> fetched = scene.UpdateToRelease4(&shownTotal, [&] {
            if (c.afterCheck) c.afterCheck(scene);
        });
        // The package replaced the delta in the figures (a delta's few bytes do not show).
        EXPECT_EQ(ProgressText::SizeText(fs::file_size(kTrees / "release4" / kChanged)),
                  shownTotal);
        const bool deltaAsked = c.why != nullptr;
        ASSERT_FALSE(fetched.empty());
        EXPECT_EQ(deltaAsked ? 2u : 1u, fetched.size());
        EXPECT_EQ(deltaAsked, fetched.front() == scene.delta);
        EXPECT_EQ(0u, fetched.back().rfind("/objects/", 0));
        EXPECT_NE(scene.delta, fetched.back());
        EXPECT_EQ(deltaAsked ? 1 : 0, lines.CountContaining(kFellBack));
        EXPECT_EQ(1, lines.CountContaining(scene.InstalledLine() + L".zip"));
        EXPECT_EQ(0, lines.CountContaining(L" from its delta "));
        if (deltaAsked) {
            EXPECT_EQ(1, lines.CountContaining(std::wstring(kFellBack) + L": " + c.why));
        }
    }
}

// A delta's part left by a stopped run is resumed by the next run that takes the same delta;
// one the next run does not take is gone once it has checked, and nothing of it spoils the run.
TEST(PublishedDelta, APartOfADeltaTheNextRunDoesNotTakeIsRemoved) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> change;  // between the two runs
        bool kept;                           // the part stays for the run to resume
        bool deltaAsked;                     // the run fetches a delta (else the package)
    };
    const Case cases[] = {
        {"installed file still the base", nullptr, true, true},
        {"installed file changed", [](Scene& s) { ChangeKeepingTime(s.Installed()); }, false,
         false},
        {"installed file the base of another delta",
         [](Scene& s) {
             ChangeKeepingTime(s.Installed());
             s.ServeDelta(Bytes(s.Installed()), Bytes(kTrees / "release4" / kChanged));
         },
         false, true},
        {"a new release",
         [](Scene& s) {
             s.Republish([](std::string& manifest) {
                 SetChangedFileValue(manifest, "ModifyDate", "2026-08-03 09:59");
             });
         },
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        ASSERT_FALSE(scene.delta.empty());
        scene.LeaveDeltaPart();
        const PartSizes left = DeltaParts(scene.PartsFolder());
        ASSERT_EQ(1u, left.size());
        EXPECT_GT(left.begin()->second, 0u);
        if (c.change) c.change(scene);
        downloadtest::DebugLines lines;
        PartSizes afterCheck;
        Scene::DeltaServed served;
        const std::vector<std::string> fetched = scene.UpdateToRelease4(
            nullptr, [&] { afterCheck = DeltaParts(scene.PartsFolder()); }, &served);
        EXPECT_EQ(c.kept ? left : PartSizes(), afterCheck);
        ASSERT_EQ(1u, fetched.size());
        EXPECT_EQ(c.deltaAsked, fetched.front() == scene.delta);
        if (c.deltaAsked) {
            // A kept part is resumed: the range starts inside it, and only the rest is sent.
            const uint64_t size = fs::file_size(scene.ServedDelta());
            uint64_t from = 0;
            if (c.kept) {
                ASSERT_EQ(0u, served.range.rfind("bytes=", 0)) << served.range;
                from = std::stoull(served.range.substr(6));
                EXPECT_GT(from, 0u);
                EXPECT_LE(from, left.begin()->second);
            } else {
                EXPECT_EQ("", served.range);
            }
            EXPECT_EQ(size - from, served.bytes);
        }
        EXPECT_EQ(0, lines.CountContaining(kFellBack));
        EXPECT_TRUE(DeltaParts(scene.PartsFolder()).empty());
    }
}

}  // namespace
