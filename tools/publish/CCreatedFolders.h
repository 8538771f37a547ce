#pragma once

#include <filesystem>
#include <vector>

// The missing folders along a path, made for a build and removed again (when still empty)
// unless the build keeps them: a refused build leaves nothing behind.
class CCreatedFolders {
public:
    // Makes every missing folder of path, outermost first. Throws CPublishError.
    explicit CCreatedFolders(const std::filesystem::path& path);
    ~CCreatedFolders();
    CCreatedFolders(const CCreatedFolders&) = delete;
    CCreatedFolders& operator=(const CCreatedFolders&) = delete;

    void Keep() { created.clear(); }

private:
    void RemoveCreated() noexcept;

    std::vector<std::filesystem::path> created;
};
