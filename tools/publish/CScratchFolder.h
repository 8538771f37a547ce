#pragma once

#include <filesystem>
#include <string>

// A new empty folder, removed with everything in it when the object goes. Made beside a
// given path (so a rename into that path stays on one file system), or in the temporary
// folder.
class CScratchFolder {
public:
    // In the temporary folder.
    CScratchFolder();
    // Beside sibling, named after it: ".<name>.<tag>-XXXXXX".
    CScratchFolder(const std::filesystem::path& sibling, const std::string& tag);
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }

private:
    void Make(std::string pattern);

    std::filesystem::path path;
};
