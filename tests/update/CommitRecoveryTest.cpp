// The commit as one step: a separate process runs a whole update and is ended at each step of
// its commit; the next check must find the install folder all old or all new, every marked
// DLL registered, and nothing of the run left. A running program's file is replaced.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "UpdateTestFiles.h"
#include "framework/PathText.h"
#include "update/UpdateWorkPaths.h"

namespace {

using updatetest::EngineFixture;
using updatetest::Exists;
using updatetest::FileBytes;
using updatetest::Narrow;

const SYSTEMTIME kStored = updatetree::LocalTime(2024, 3, 1, 10, 0, 4);
constexpr DWORD kKilled = 77;

std::string Section(const std::string& name, const std::string& keys) {
    return "[" + name + "]\n" + keys + "Type=Common\n";
}

std::wstring ProbePath() {
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return PathText::Join(PathText::FolderPart(program), L"CommitProbe.exe");
}

class Process {
public:
    explicit Process(const std::wstring& program, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info))
            CloseHandle(info.hThread);
    }
    ~Process() {
        if (!info.hProcess) return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return info.hProcess != nullptr; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD Wait(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info{};
};

class CommitRecoveryTest : public ::testing::Test, public EngineFixture {
protected:
    void SetUp() override {
        tree.AddPackage("Old.txt", "new old", kStored);
        tree.AddPackage("New.txt", "new", kStored);
        tree.AddPackage("Reg.dll", updatetest::TestDllBytes(L"testreg_ok.dll"), kStored);
        tree.PublishManifest(Section("Old.txt", "ModifyDate=2024-03-01 10:00\nCheckDate=1\n") +
                             Section("New.txt", "TargetDir=sub\n") +
                             Section("Reg.dll", "Register=1\n"));
    }
    void InstallOldSet() {
        for (const wchar_t* name : {L"sub\\New.txt", L"Reg.dll", L"Reg.dll.log"})
            DeleteFileW((install / name).c_str());
        updatetest::WriteTextFile(install / L"Old.txt", "old");
        updatetest::SetLocalWriteTime(install / L"Old.txt", 2024, 2, 1, 9, 0, 0);
    }
    void ExpectNothingOfTheRunLeft() {
        const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
        EXPECT_FALSE(Exists(UpdateWorkPaths::JournalFile(work)));
        for (const wchar_t* name : {L"Old.txt", L"sub\\New.txt", L"Reg.dll"})
            EXPECT_FALSE(Exists(UpdateWorkPaths::AsidePath(install / name))) << Narrow(name);
    }
};

TEST_F(CommitRecoveryTest, AProcessEndedAtAnyCommitStepLeavesAllOldOrAllNew) {
    manager.reset();
    bool sawOld = false;
    bool sawNew = false;
    bool completed = false;
    for (unsigned step = 0; !completed && step < 20; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        InstallOldSet();
        // Without its last "\", which would escape the closing quote.
        const std::wstring folder = install.Path().substr(0, install.Path().size() - 1);
        const Process probe(ProbePath(),
                            server.Url() + L" \"" + folder + L"\" " + std::to_wstring(step));
        ASSERT_TRUE(probe.Started());
        const DWORD code = probe.Wait(60000);
        ASSERT_TRUE(code == kKilled || code == 0) << code;
        completed = code == 0;

        RecreateManager(server.Url());
        const int pending = manager->CheckForUpdates();
        if (FileBytes(install / L"Old.txt") == "new old") {
            sawNew = true;
            EXPECT_EQ(FileBytes(install / L"sub\\New.txt"), "new");
            EXPECT_GE(updatetest::RegistrationCount(install / L"Reg.dll"), 1);
            EXPECT_EQ(pending, 0);
            // Nothing of a committed release waits to be fetched or staged again.
            const std::wstring work = UpdateWorkPaths::WorkFolder(install.Path());
            EXPECT_FALSE(Exists(UpdateWorkPaths::StagedFolder(work)));
            EXPECT_FALSE(Exists(UpdateWorkPaths::PartsFolder(work)));
        } else {
            sawOld = true;
            EXPECT_FALSE(completed);
            EXPECT_EQ(FileBytes(install / L"Old.txt"), "old");
            EXPECT_FALSE(Exists(install / L"sub\\New.txt"));
            EXPECT_FALSE(Exists(install / L"Reg.dll"));
            EXPECT_EQ(pending, 3);
            // Staged files of this release may wait for the next commit; no others.
        }
        manager.reset();
        ExpectNothingOfTheRunLeft();
    }
    EXPECT_TRUE(completed);
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

TEST_F(CommitRecoveryTest, ARunningProgramsFileIsReplaced) {
    const std::string probeBytes = FileBytes(ProbePath());
    tree.AddPackage("Runner.exe", probeBytes + "new", kStored);
    tree.PublishManifest(Section("Runner.exe", "ModifyDate=2024-03-01 10:00\nCheckDate=1\n"));
    updatetest::WriteTextFile(install / L"Runner.exe", probeBytes);
    updatetest::SetLocalWriteTime(install / L"Runner.exe", 2024, 2, 1, 9, 0, 0);
    const Process runner(install / L"Runner.exe", L"hold 60");
    ASSERT_TRUE(runner.Started());
    Sleep(500);

    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(notify.Events().back(), L"installed");
    EXPECT_EQ(runner.Wait(0), STILL_ACTIVE);
    EXPECT_EQ(FileBytes(install / L"Runner.exe"), probeBytes + "new");

    // The next release while the program still runs from the old file set aside.
    tree.AddPackage("Runner.exe", probeBytes + "newer", kStored);
    tree.PublishManifest(Section("Runner.exe", "ModifyDate=2024-03-02 10:00\nCheckDate=1\n"));
    RecreateManager(server.Url());
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    updatetest::RecordingNotify second;  // the fixture's has seen its phases end
    ASSERT_EQ(manager->StartDownload(&second, false), 1);
    ASSERT_TRUE(second.WaitForDownloadEnd());
    ASSERT_EQ(second.Events().back(), L"complete");
    manager->StartInstall(&second);
    ASSERT_TRUE(second.WaitForInstallEnd());
    EXPECT_EQ(second.Events().back(), L"installed");
    EXPECT_EQ(runner.Wait(0), STILL_ACTIVE);
    EXPECT_EQ(FileBytes(install / L"Runner.exe"), probeBytes + "newer");
}

// A package left half-way by a run that ended (its process ended while the package came) is
// resumed by the next run from where it stopped, and started again when the server answers
// the range with the whole body.
class ResumeTest : public CommitRecoveryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ResumeTest, AnInterruptedPackageIsFinishedByTheNextRun) {
    constexpr uint64_t kBigPackage = 64ull << 20;
    const bool serverResumes = GetParam();
    std::string data(kBigPackage, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 16));
    tree.AddPackage("Big.bin", data, kStored);
    tree.PublishManifest("[Big.bin]\nModifyDate=2024-03-01 10:00\nCheckDate=1\nType=Common\n");
    server.HonourRanges(serverResumes);
    server.SetPace(1 << 20, 50);
    manager.reset();
    {
        const std::wstring folder = install.Path().substr(0, install.Path().size() - 1);
        const Process firstRun(ProbePath(), server.Url() + L" \"" + folder + L"\" 0");
        ASSERT_TRUE(firstRun.Started());
        for (int i = 0; i < 3000 && server.BodyBytesSent() < kBigPackage / 2; ++i) Sleep(10);
    }  // ended half-way
    server.SetPace(1 << 20, 0);
    const uint64_t firstRun = server.BodyBytesSent();
    ASSERT_LT(firstRun, kBigPackage);

    RecreateManager(server.Url());
    ASSERT_EQ(manager->CheckForUpdates(), 1);
    ASSERT_TRUE(DownloadAll());
    manager->StartInstall(&notify);
    ASSERT_TRUE(notify.WaitForInstallEnd());
    EXPECT_EQ(notify.Events().back(), L"installed");
    EXPECT_TRUE(FileBytes(install / L"Big.bin") == data) << "the right bytes";

    const std::vector<std::string> ranges = server.Ranges();
    ASSERT_FALSE(ranges.empty());
    const std::string asked = ranges.back();
    ASSERT_EQ(asked.rfind("bytes=", 0), 0u) << asked;
    const uint64_t from = std::stoull(asked.substr(6));
    EXPECT_GT(from, kBigPackage / 4);
    EXPECT_LE(from, firstRun);
    if (serverResumes) {
        // About half, never the whole package again.
        EXPECT_LT(server.BodyBytesSent() - firstRun, kBigPackage * 3 / 4) << "only the rest";
    }
}

INSTANTIATE_TEST_SUITE_P(Server, ResumeTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Resumes" : "SendsAll"; });

}  // namespace
