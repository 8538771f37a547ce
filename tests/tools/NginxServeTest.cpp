// The engine's main path through PelkoWebHost and the DLL, against Debian's nginx serving the
// trees pelko-publish made (fixture make_publish_trees.sh) with the vendor guide's cache
// headers (tests/support/nginx/with_nginx.sh starts and stops it): a first install, an update,
// a host ended in the middle of a package and the run that resumes it, and a launch with
// nothing to fetch. What was asked, and how nginx answered, is read from its access log.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "loader/LaunchFixture.h"
#include "support/common/TestFolder.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"
#include "verify/HexText.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTrees = PELKO_PUBLISH_TREES;
const char* const kManifest = "/CvUpdate/PelkoPatch/RudovuZado.ini.zip";
const char* const kObjects = "/CvUpdate/PelkoPatch/objects/";
// The unchanged launch's one request: the check asks with the validators of the copy it kept.
constexpr int kUnchangedManifestStatus = 304;
constexpr DWORD kPollMs = 50;
constexpr DWORD kPartWaitMs = 60000;
// The guide's max-age for the manifest, and a second's margin.
constexpr ULONGLONG kManifestLifetimeMs = 61000;

// One line of the access log (with_nginx.sh's format).
struct Answer {
    std::string uri;
    int status = 0;
    std::string range;
    unsigned long long bytes = 0;
    std::string cacheControl;
};

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A Unix path as this Windows program reaches it.
fs::path FromUnix(const std::string& path) { return fs::path("Z:" + path); }

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// A program started without waiting, ended (if still running) and released when it goes.
class StartedProgram {
public:
    StartedProgram(const std::wstring& path, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + path + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            process = {};
        if (process.hThread) CloseHandle(process.hThread);
    }
    ~StartedProgram() {
        End();
        if (process.hProcess) CloseHandle(process.hProcess);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const { return process.hProcess != nullptr; }
    // Ends the program at once, as a crash or the task manager would, and waits for its end.
    void End() {
        if (!process.hProcess) return;
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, kPartWaitMs);
    }

private:
    PROCESS_INFORMATION process{};
};

class NginxServeTest : public LaunchFixture {
protected:
    void SetUp() override {
        LaunchFixture::SetUp();
        ASSERT_FALSE(Environment("PELKO_NGINX_URL").empty()) << "run through with_nginx.sh";
        // The user's log of the programs the test starts.
        SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
        RemoveRelease();
        fs::remove_all(Served());
        // The release brings its own PelkoDeskLoader.exe (no program): the launches start the
        // fake PelkoLoader.exe, which records its start and exits.
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"PelkoLoader.exe").c_str(),
                              InInstallFolder(L"PelkoLoader.exe").c_str(), FALSE));
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
        RemoveRelease();
        LaunchFixture::TearDown();
    }

    static void RemoveRelease() {
        for (const wchar_t* name : {L"Pelko.cfg", L"readme.txt", L"PelkoRelease.serial"})
            DeleteSoon(InInstallFolder(name));
        std::error_code ignored;
        fs::remove_all(InInstallFolder(L"bin"), ignored);
        fs::remove_all(InInstallFolder(L"data"), ignored);
    }

    static fs::path Served() {
        return FromUnix(Environment("PELKO_NGINX_WWW")) / "CvUpdate" / "PelkoPatch";
    }

    // Puts a tree on the server as the vendor guide says: objects, packages, manifest last.
    static void Upload(const std::string& tree) {
        const fs::path from = kTrees / tree;
        for (const char* folder : {"objects", "RudovuZado"}) {
            fs::create_directories(Served() / folder);
            for (const auto& file : fs::directory_iterator(from / folder))
                CopyOver(file.path(), Served() / folder / file.path().filename());
        }
        CopyOver(from / "RudovuZado.ini.zip", Served() / "RudovuZado.ini.zip");
    }

    static void CopyOver(const fs::path& from, const fs::path& to) {
        EXPECT_TRUE(CopyFileW(from.wstring().c_str(), to.wstring().c_str(), FALSE))
            << from.string() << " " << GetLastError();
    }

    // The update URL below path of the server at front (nginx itself when not given).
    static std::wstring Server(const std::string& path, const std::string& front) {
        const std::string url =
            (front.empty() ? Environment("PELKO_NGINX_URL") : front) + path + "/CvUpdate/Pelko";
        return std::wstring(url.begin(), url.end());
    }

    static std::wstring Arguments(const std::string& path, const std::string& front = "") {
        return L"classic " + Server(path, front) + L" id name";
    }

    // A launch to its end, the loader's included.
    static int Launch(const std::string& path = "", const std::string& front = "") {
        const int code = RunProgram(ProgramFolder() + L"PelkoWebHost.exe", Arguments(path, front));
        EXPECT_TRUE(WaitForRecord(L"PelkoLoader"));
        DeleteSoon(InInstallFolder(L"PelkoLoader.record.txt"));
        return code;
    }

    // The answers logged since the last call.
    std::vector<Answer> NewAnswers() {
        std::istringstream log(Bytes(FromUnix(Environment("PELKO_NGINX_LOG"))));
        std::vector<Answer> answers;
        size_t index = 0;
        for (std::string line; std::getline(log, line); ++index) {
            if (index < answersSeen) continue;
            const std::vector<std::string> f = Fields(line);
            if (f.size() < 7) continue;
            answers.push_back(
                {f[0], std::atoi(f[1].c_str()), f[2] == "-" ? "" : f[2], std::stoull(f[5]), f[6]});
        }
        answersSeen = index;
        return answers;
    }

    static void ExpectInstalled(const std::string& release, const std::vector<std::string>& files) {
        for (const std::string& file : files)
            EXPECT_EQ(Bytes(kTrees / release / file), Bytes(fs::path(kInstallFolder) / file))
                << file;
    }

    // Whether the installed files are exactly those of the release.
    static bool IsInstalled(const std::string& release, const std::vector<std::string>& files) {
        return std::all_of(files.begin(), files.end(), [&](const std::string& file) {
            return Bytes(kTrees / release / file) == Bytes(fs::path(kInstallFolder) / file);
        });
    }

    // The largest package part of the run, waiting until it holds at least bytes; 0 when
    // none does in time.
    static uintmax_t WaitForPart(uintmax_t bytes) {
        const fs::path parts =
            UpdateWorkPaths::PartsFolder(UpdateWorkPaths::WorkFolder(kInstallFolder));
        for (DWORD waited = 0; waited < kPartWaitMs; waited += kPollMs) {
            std::error_code error;
            for (const auto& part : fs::directory_iterator(parts, error)) {
                const uintmax_t size = part.file_size(error);
                if (!error && size >= bytes) return size;
            }
            Sleep(kPollMs);
        }
        return 0;
    }

    // The lines of the user's log written since the last call.
    std::string NewLogLines() {
        const std::string log = Bytes(fs::path(appData / L"Pelko\\Logs\\PelkoWebLoader.log"));
        const std::string lines = log.substr(std::min(logSeen, log.size()));
        logSeen = log.size();
        return lines;
    }

    testsupport::TestFolder appData;
    size_t answersSeen = 0;
    size_t logSeen = 0;
};

std::vector<std::string> Uris(const std::vector<Answer>& answers) {
    std::vector<std::string> uris;
    for (const Answer& answer : answers) uris.push_back(answer.uri);
    return uris;
}

TEST_F(NginxServeTest, InstallUpdateResumeAndAnUnchangedLaunch) {
    const std::vector<std::string> files = {"PelkoDeskLoader.exe", "Pelko.cfg", "readme.txt",
                                            "bin/com/RegisterRecorder.dll"};
    NewAnswers();

    // A first install fetches the manifest and the object of every file, never a classic
    // package; the answers carry the guide's cache headers.
    Upload("tree1");
    ASSERT_EQ(0, Launch());
    ExpectInstalled("release1", files);
    std::vector<Answer> answers = NewAnswers();
    ASSERT_EQ(5u, answers.size()) << ::testing::PrintToString(Uris(answers));
    EXPECT_EQ(kManifest, answers[0].uri);
    EXPECT_EQ("public, max-age=60, must-revalidate", answers[0].cacheControl);
    std::vector<std::string> firstObjects;
    for (const Answer& answer : answers) {
        EXPECT_EQ(200, answer.status) << answer.uri;
        if (answer.uri == kManifest) continue;
        EXPECT_TRUE(StartsWith(answer.uri, kObjects)) << answer.uri;
        EXPECT_EQ("public, max-age=31536000, immutable", answer.cacheControl) << answer.uri;
        firstObjects.push_back(answer.uri);
    }

    // An update fetches the one changed file's new object.
    Upload("tree2");
    ASSERT_EQ(0, Launch());
    ExpectInstalled("release2", files);
    answers = NewAnswers();
    ASSERT_EQ(2u, answers.size()) << ::testing::PrintToString(Uris(answers));
    EXPECT_EQ(kManifest, answers[0].uri);
    EXPECT_TRUE(StartsWith(answers[1].uri, kObjects)) << answers[1].uri;
    EXPECT_EQ(200, answers[1].status);
    EXPECT_EQ(firstObjects.end(),
              std::find(firstObjects.begin(), firstObjects.end(), answers[1].uri));

    // A host ended in the middle of the large package (served slowly below /slow/) leaves its
    // part; the next run asks for the rest with a range and completes the file.
    Upload("tree3");
    StartedProgram host(ProgramFolder() + L"PelkoWebHost.exe", Arguments("/slow"));
    ASSERT_TRUE(host.Started());
    const uintmax_t cut = WaitForPart(512u << 10);
    host.End();
    ASSERT_GT(cut, 0u) << "no part grew to 512 KiB";
    EXPECT_FALSE(Exists(InInstallFolder(L"data\\big.bin")));
    const uintmax_t big = fs::file_size(kTrees / "tree3" / "RudovuZado" / "big.bin.zip");
    ASSERT_LT(cut, big) << "the package was whole before the host ended";

    ASSERT_EQ(0, Launch());
    ExpectInstalled("release3", {"Pelko.cfg", "data/big.bin"});
    answers = NewAnswers();
    const auto resumed = std::find_if(answers.begin(), answers.end(), [](const Answer& a) {
        return StartsWith(a.uri, kObjects) && !a.range.empty();
    });
    ASSERT_NE(answers.end(), resumed) << ::testing::PrintToString(Uris(answers));
    EXPECT_EQ(206, resumed->status);
    EXPECT_TRUE(StartsWith(resumed->range, "bytes=")) << resumed->range;
    const unsigned long long from = std::strtoull(resumed->range.c_str() + 6, nullptr, 10);
    EXPECT_GT(from, 0u);
    EXPECT_EQ(big - from, resumed->bytes) << "only the rest is sent";

    // Nothing changed: the launch asks for the manifest alone, and takes the answer as the
    // kept copy, not as a failed fetch.
    NewLogLines();
    ASSERT_EQ(0, Launch());
    answers = NewAnswers();
    ASSERT_EQ(1u, answers.size()) << ::testing::PrintToString(Uris(answers));
    EXPECT_EQ(kManifest, answers[0].uri);
    EXPECT_EQ(kUnchangedManifestStatus, answers[0].status);
    ExpectInstalled("release3", files);
    std::string log = NewLogLines();
    EXPECT_NE(std::string::npos, log.find(std::string(kManifest) + " unchanged (304)")) << log;
    EXPECT_NE(std::string::npos, log.find(" entries, 0 to fetch")) << log;
    EXPECT_EQ(std::string::npos, log.find("CUpdateManagerLite, error")) << log;

    // A file missing since: the kept manifest names it, and only its object is fetched.
    ASSERT_TRUE(DeleteSoon(InInstallFolder(L"readme.txt")));
    ASSERT_EQ(0, Launch());
    answers = NewAnswers();
    ASSERT_EQ(2u, answers.size()) << ::testing::PrintToString(Uris(answers));
    EXPECT_EQ(kManifest, answers[0].uri);
    EXPECT_EQ(kUnchangedManifestStatus, answers[0].status);
    EXPECT_TRUE(StartsWith(answers[1].uri, kObjects)) << answers[1].uri;
    EXPECT_EQ(200, answers[1].status);
    ExpectInstalled("release3", files);
    log = NewLogLines();
    EXPECT_NE(std::string::npos, log.find(" entries, 1 to fetch")) << log;
    EXPECT_EQ(std::string::npos, log.find("CUpdateManagerLite, error")) << log;
}

// Varnish in front of nginx with the vendor guide's configuration (with_varnish.sh): nginx is
// asked for each object once, whoever asks the edge; a release uploaded in the guide's order
// while the edge holds the last manifest gives no client a mix, and once the manifest's
// lifetime has passed every client gets the new release.
TEST_F(NginxServeTest, ThroughACachingEdge) {
    const std::string edge = Environment("PELKO_VARNISH_URL");
    ASSERT_FALSE(edge.empty()) << "run through with_varnish.sh";
    const std::vector<std::string> files = {"PelkoDeskLoader.exe", "Pelko.cfg", "readme.txt",
                                            "bin/com/RegisterRecorder.dll"};
    const auto objectsAsked = [](const std::vector<Answer>& answers) {
        std::vector<std::string> objects;
        for (const Answer& answer : answers)
            if (StartsWith(answer.uri, kObjects)) objects.push_back(answer.uri);
        return objects;
    };
    NewAnswers();

    Upload("tree1");
    ASSERT_EQ(0, Launch("", edge));
    // The edge took the manifest before the launch ended: its lifetime ends a minute after.
    const ULONGLONG manifestStale = GetTickCount64() + kManifestLifetimeMs;
    ExpectInstalled("release1", files);
    const std::vector<std::string> firstObjects = objectsAsked(NewAnswers());
    EXPECT_EQ(4u, firstObjects.size()) << ::testing::PrintToString(firstObjects);

    // Another client: every object comes from the edge.
    RemoveRelease();
    ASSERT_EQ(0, Launch("", edge));
    ExpectInstalled("release1", files);
    EXPECT_EQ(std::vector<std::string>{}, objectsAsked(NewAnswers()));

    // Release 2 uploaded while the edge holds manifest 1: a client gets one release, whole.
    Upload("tree2");
    RemoveRelease();
    ASSERT_EQ(0, Launch("", edge));
    EXPECT_TRUE(IsInstalled("release1", files) || IsInstalled("release2", files));

    // Once the manifest's lifetime has passed, every client gets release 2 (nginx is asked for
    // its new object once).
    for (ULONGLONG now = GetTickCount64(); now < manifestStale; now = GetTickCount64())
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(manifestStale - now, 1000)));
    NewAnswers();
    ASSERT_EQ(0, Launch("", edge));
    ExpectInstalled("release2", files);
    RemoveRelease();
    ASSERT_EQ(0, Launch("", edge));
    ExpectInstalled("release2", files);
    const std::vector<std::string> newObjects = objectsAsked(NewAnswers());
    EXPECT_LE(newObjects.size(), 1u) << ::testing::PrintToString(newObjects);

    // A host ended in the middle of the large package (below /slow/, which the edge has not
    // cached, nginx sends it slowly) leaves its part; the next run completes the file, and
    // nginx is asked for the package once, whole, however the edge answered the resumption.
    Upload("tree3");
    StartedProgram host(ProgramFolder() + L"PelkoWebHost.exe", Arguments("/slow", edge));
    ASSERT_TRUE(host.Started());
    const uintmax_t cut = WaitForPart(512u << 10);
    host.End();
    ASSERT_GT(cut, 0u) << "no part grew to 512 KiB";
    ASSERT_EQ(0, Launch("/slow", edge));
    ExpectInstalled("release3", {"Pelko.cfg", "data/big.bin"});
    const std::string bigPackage = Bytes(kTrees / "tree3" / "RudovuZado" / "big.bin.zip");
    const std::string bigObject = "/slow" + std::string(kObjects) +
                                  ToHex(CSha256::Of(bigPackage.data(), bigPackage.size())) + ".zip";
    std::vector<Answer> bigAnswers;
    for (const Answer& answer : NewAnswers())
        if (answer.uri == bigObject) bigAnswers.push_back(answer);
    ASSERT_EQ(1u, bigAnswers.size()) << bigObject;
    EXPECT_EQ(200, bigAnswers[0].status);
    EXPECT_EQ("", bigAnswers[0].range);
}

}  // namespace
