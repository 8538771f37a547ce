// Extracting entry 0 into a scratch folder, as the component does, and checking that nothing
// appeared beside it.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "ZipFuzzInput.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
    static const fs::path root =
        fs::temp_directory_path() / ("zip-extract-fuzz-" + std::to_string(getpid()));
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path destination = Root() / "destination" / "deeper";
    fs::remove_all(Root());
    fs::create_directories(destination);
    ZipFuzz::WithArchive(data, size, [&](CZipArchive& archive) {
        archive.ExtractEntry(0, destination.wstring().c_str(), true, nullptr, 65536);
    });
    // Anything next to the destination was written outside it.
    for (const auto& item : fs::directory_iterator(Root())) {
        if (item.path().filename() != "destination") std::abort();
    }
    for (const auto& item : fs::directory_iterator(Root() / "destination")) {
        if (item.path().filename() != "deeper") std::abort();
    }
    fs::remove_all(Root());
    return 0;
}
