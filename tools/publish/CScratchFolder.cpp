#include "tools/publish/CScratchFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "tools/publish/CPublishError.h"

namespace fs = std::filesystem;

CScratchFolder::CScratchFolder() {
    std::error_code error;
    const fs::path temp = fs::temp_directory_path(error);
    Make(((error ? fs::path("/tmp") : temp) / "pelko-publish-XXXXXX").string());
}

CScratchFolder::CScratchFolder(const fs::path& sibling, const std::string& tag) {
    const fs::path parent = sibling.parent_path().empty() ? "." : sibling.parent_path();
    Make((parent / ("." + sibling.filename().string() + "." + tag + "-XXXXXX")).string());
}

void CScratchFolder::Make(std::string pattern) {
    if (!mkdtemp(pattern.data()))
        throw CPublishError("cannot make a folder " + pattern + ": " + std::strerror(errno));
    path = pattern;
}

CScratchFolder::~CScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}
