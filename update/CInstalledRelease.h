#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/UpdateWorkPaths.h"
#include "verify/CReleaseSerial.h"

// The serial of the signed release whose files the install folder holds, kept in the run's
// work folder. It follows the files, not the manifest: a release accepted but not yet
// installed (a failed download, a postponed commit) leaves it as it was.
class CInstalledRelease {
public:
    static constexpr const wchar_t* fileName = L"Installed.serial";

    explicit CInstalledRelease(const std::wstring& workFolder)
        : record(workFolder, fileName, UpdateWorkPaths::InstallFolderOf(workFolder)) {}

    // None when no signed release was installed yet, or the record is damaged.
    std::optional<uint64_t> Read() const;
    // The record of the install folder's run, read only when this build takes signed
    // releases alone; none otherwise.
    static std::optional<uint64_t> OfInstallFolder(const std::wstring& installFolder);
    // A record that cannot be written leaves a line on the debug output.
    void Record(uint64_t serial) const;

private:
    CReleaseSerial record;
};
