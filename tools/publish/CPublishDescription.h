#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// One file of a release: the manifest keys a user sets by hand, and where its bytes are.
struct PublishEntry {
    std::string name;
    int folderType = 0;
    std::string targetDir;
    bool registerDll = false;
    bool checkDate = false;
    std::string type;
    std::filesystem::path source;
    uint64_t size = 0;
    int64_t modified = 0;  // seconds since 1970, UTC
};

// The publish description: the manifest's own INI form, one section per file, with the keys
// FolderType, TargetDir, Register, CheckDate, Type and the optional Source. Without Source a
// file is taken from <release>/<TargetDir>/<name>; Source is a path relative to the release
// folder (or absolute).
class CPublishDescription {
public:
    // Throws CPublishError for the first thing the clients could not use as written.
    static std::vector<PublishEntry> Read(const std::filesystem::path& description,
                                          const std::filesystem::path& release);
};
