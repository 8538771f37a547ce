#include "tools/publish/TreeSwap.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>

#include "tools/publish/CPublishError.h"

namespace fs = std::filesystem;

namespace TreeSwap {

void Replace(const fs::path& staged, const fs::path& output) {
    std::error_code error;
    const bool exists = fs::exists(fs::symlink_status(output, error));
    const unsigned mode = exists ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, output.c_str(), mode) == 0) return;
    throw CPublishError("cannot put the new tree in place of " + output.string() + ": " +
                        std::strerror(errno));
}

}  // namespace TreeSwap
