// Extracting entry 0 into a scratch folder, as the component does. Two checks: every call that
// changes the file system must name something inside the destination (at any depth, wherever
// it would land), and afterwards everything around the destination, the destination's own
// attributes included, must be as it was.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "ZipFuzzInput.h"
#include "ZipFuzzWatch.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
    static const fs::path root =
        fs::temp_directory_path() / ("zip-extract-fuzz-" + std::to_string(getpid()));
    return root;
}

// Entries may take the write permission away from what they make; give it back so that
// everything can be removed.
void Remove(const fs::path& folder) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(folder, error);
}

// Type and permissions of everything below the root except what lies inside the destination.
std::map<std::string, std::string> Around(const fs::path& destination) {
    std::map<std::string, std::string> found;
    for (auto it = fs::recursive_directory_iterator(Root());
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_status status = it->symlink_status();
        found[it->path().string()] =
            std::to_string(int(status.type())) + " " + std::to_string(int(status.permissions()));
        if (it->path() == destination) it.disable_recursion_pending();
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Neighbours at several levels, so that a change beside or above the destination shows.
    const fs::path destination = Root() / "outer" / "middle" / "destination";
    Remove(Root());
    fs::create_directories(destination);
    fs::create_directories(Root() / "outer" / "beside");
    std::ofstream(Root() / "outer" / "middle" / "neighbour.txt") << "neighbour";
    const auto before = Around(destination);

    ZipFuzz::WithArchive(data, size, [&](CZipArchive& archive) {
        ZipFuzz::WatchWrites(destination.string(), [&] {
            archive.ExtractEntry(0, destination.wstring().c_str(), true, nullptr, 65536);
        });
    });

    const auto after = Around(destination);
    if (after != before) {
        for (const auto& [path, state] : after) {
            const auto was = before.find(path);
            if (was == before.end() || was->second != state)
                std::fprintf(stderr, "changed outside the destination: %s\n", path.c_str());
        }
        for (const auto& [path, state] : before) {
            if (!after.count(path)) std::fprintf(stderr, "removed: %s\n", path.c_str());
        }
        std::abort();
    }
    Remove(Root());
    return 0;
}
