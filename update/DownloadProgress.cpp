#include "update/DownloadProgress.h"

#include <algorithm>

DownloadProgress::DownloadProgress(std::vector<uint64_t> fileSizes)
    : weights(std::move(fileSizes)), percents(weights.size(), 0) {
    for (uint64_t size : weights) total += size;
}

namespace {

// percent of size without overflow.
uint64_t Share(uint64_t size, int percent) {
    return size / 100 * static_cast<uint64_t>(percent) +
           size % 100 * static_cast<uint64_t>(percent) / 100;
}

}  // namespace

void DownloadProgress::Set(size_t index, int percent) {
    received -= Share(weights[index], percents[index]);
    percents[index] = percent;
    received += Share(weights[index], percent);
}

void DownloadProgress::Update(size_t index, int percent) {
    if (index >= percents.size() || percents[index] == 100) return;
    // A body longer than announced reads above 100; only Done makes a package whole.
    Set(index, std::clamp(percent, 0, 99));
}

void DownloadProgress::Done(size_t index) {
    if (index >= percents.size() || percents[index] == 100) return;
    Set(index, 100);
    ++done;
}

void DownloadProgress::Replace(size_t index, uint64_t weight) {
    if (index >= percents.size() || percents[index] == 100) return;
    const uint64_t kept = Share(weights[index], percents[index]);
    total = total - weights[index] + kept + weight;
    weights[index] = weight;
    percents[index] = 0;
}

int DownloadProgress::OverallPercent() const {
    if (weights.empty()) return 100;
    // Files of size 0 (or sizes the manifest does not give) count by their number.
    if (total == 0) return static_cast<int>(done * 100 / weights.size());
    return static_cast<int>(ReceivedBytes() * 100 / total);
}

int DownloadProgress::CurrentIndex() const {
    return static_cast<int>(std::min(done + 1, weights.size()));
}
