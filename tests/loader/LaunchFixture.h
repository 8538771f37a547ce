#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/fakeloaders/LoaderRecord.h"

using IniEntries = std::vector<std::pair<std::wstring, std::wstring>>;

// Tests against the real install folder of the Wine prefix (C: is a fixed disk there). Each test
// starts with the folder present and without any file these tests put into it, and removes
// those files again at its end.
class LaunchFixture : public ::testing::Test {
protected:
    static constexpr wchar_t kInstallFolder[] = L"C:\\Corvane\\Pelko\\";
    static constexpr const wchar_t* kLoaders[] = {L"PelkoDeskLoader", L"PelkoLoader",
                                                  L"PelkoAgentLoader"};

    void SetUp() override;
    void TearDown() override;
    static void CleanInstallFolder();

    // A server the build allows: in the first allowed domain, with a port and a path.
    static std::wstring AllowedServer();
    static std::wstring ProgramFolder();
    static std::wstring CurrentFolder();
    static std::wstring InInstallFolder(const std::wstring& name);
    static std::wstring SettingsPath();
    static bool Exists(const std::wstring& path);

    // Deletes a file, waiting a little while it is in use: a program that has just exited may
    // keep its file for a moment. True when the file is gone.
    static bool DeleteSoon(const std::wstring& path);
    // The same for an empty folder: the console of a loader started there may keep it as
    // its current folder for a moment.
    static bool RemoveFolderSoon(const std::wstring& path);

    static void InstallFakeLoaders();
    static void WriteBytes(const std::wstring& path, const std::string& bytes);
    static std::string ReadBytes(const std::wstring& path);
    // The page's keys of the settings section, in file order; AllSettingsEntries adds how the
    // update ended (UpdateResult, ReleaseSerial), which OutcomeEntries gives alone.
    static IniEntries SettingsEntries();
    static IniEntries AllSettingsEntries();
    static IniEntries OutcomeEntries();

    // A fake loader is named by its base name without ".exe", in the install folder unless it
    // is a full path.
    static std::wstring LoaderPath(const std::wstring& loader);
    // The record of a fake loader, once it has exited; nothing when no record appears within a
    // few seconds.
    static std::optional<LoaderRecord> WaitForRecord(const std::wstring& loader);
    // Whether a fake loader was started: it runs now, or it has ended and left its record (it
    // writes the record before it ends). Needs no wait.
    static bool LoaderStarted(const std::wstring& loader);

    // Runs a program of the build's bin folder with this process's current directory; its exit
    // code, or -1 when it had to be stopped.
    static int RunProgram(const std::wstring& programPath, const std::wstring& arguments);
};

// Sets a folder's access list from SDDL through a handle. Wine keeps no list of its own: it
// turns the list into the Unix mode of the folder (everyone's modify rights: mode 0777).
DWORD SetAccessList(const std::wstring& folder, const std::wstring& sddl);
// A file's or folder's access list as SDDL, to put back or compare; empty when unreadable.
std::wstring AccessListText(const std::wstring& path);
// The names, sizes and write times of what a folder holds (or of a file), and its own time.
std::wstring Snapshot(const std::wstring& path);
