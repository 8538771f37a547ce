#include "tools/publish/CCreatedFolders.h"

#include "tools/publish/CPublishError.h"

namespace fs = std::filesystem;

CCreatedFolders::CCreatedFolders(const fs::path& path) {
    std::vector<fs::path> missing;
    for (fs::path folder = path; !folder.empty() && !fs::exists(folder);
         folder = folder.parent_path()) {
        missing.push_back(folder);
        if (folder == folder.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code error;
        if (!fs::create_directory(*it, error) && error) {
            // No destructor runs for an object whose constructor throws.
            RemoveCreated();
            throw CPublishError("cannot make the folder " + it->string() + ": " + error.message());
        }
        created.push_back(*it);
    }
}

CCreatedFolders::~CCreatedFolders() { RemoveCreated(); }

void CCreatedFolders::RemoveCreated() noexcept {
    // Innermost first; a folder someone filled meanwhile stays.
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
        std::error_code ignored;
        fs::remove(*it, ignored);
    }
}
