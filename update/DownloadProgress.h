#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The figures of a download phase that fetches several packages at once, shown as one
// transfer: each package counts with the size of its file, so the whole reaches 100 when
// every file is there, however well its package was compressed. Pure: no clock, no platform.
class DownloadProgress {
public:
    // The manifest's size of each package's file, in list order.
    explicit DownloadProgress(std::vector<uint64_t> fileSizes);

    // Package index (from 0) has reached percent of its body.
    void Update(size_t index, int percent);
    // Package index was received whole.
    void Done(size_t index);
    // Package index is fetched anew as another body of size weight (a delta's package): what
    // its first body brought stays counted, in the received bytes and the total.
    void Replace(size_t index, uint64_t weight);

    int OverallPercent() const;
    uint64_t ReceivedBytes() const { return received; }
    uint64_t TotalBytes() const { return total; }
    // The package the phase is at, from 1: one after those received, at most the count.
    int CurrentIndex() const;
    int Count() const { return static_cast<int>(weights.size()); }

private:
    void Set(size_t index, int percent);

    std::vector<uint64_t> weights;
    std::vector<int> percents;
    uint64_t total = 0;
    uint64_t received = 0;
    size_t done = 0;
};
