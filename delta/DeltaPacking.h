#pragma once

#include <cstdint>
#include <vector>

// The raw streams of a delta, before compression.
struct DeltaStreams {
    std::vector<uint8_t> control;
    std::vector<uint8_t> diff;
    std::vector<uint8_t> extra;
};

// Appends one control triple to the control stream.
void AppendTriple(std::vector<uint8_t>& control, int64_t add, int64_t copy, int64_t seek);

// The whole delta file: header and the three streams, each compressed with zlib at its best
// ratio. Empty when zlib fails (out of memory).
std::vector<uint8_t> PackDelta(uint64_t baseSize, uint64_t resultSize, const DeltaStreams& streams);
