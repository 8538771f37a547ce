#include "tools/publish/ServedTime.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

bool SameBytes(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(second));
}

}  // namespace

namespace ServedTime {

fs::file_time_type After(fs::file_time_type written, fs::file_time_type previous) {
    using std::chrono::seconds;
    const fs::file_time_type next = std::chrono::floor<seconds>(previous) + seconds(1);
    return std::max(written, next);
}

void FollowPrevious(const fs::path& written, const fs::path& previous) {
    std::error_code missing;
    const fs::file_time_type before = fs::last_write_time(previous, missing);
    if (missing) return;
    if (SameBytes(written, previous))
        fs::last_write_time(written, before);
    else
        fs::last_write_time(written, After(fs::last_write_time(written), before));
}

}  // namespace ServedTime
