#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

// What one file's delta may cost to make; a file past either limit gets no delta.
struct DeltaLimits {
    std::chrono::milliseconds time{60000};
    uint64_t memoryFactor = 8;  // times the new file's size
};

enum class DeltaOutcome { made, tooSlow, tooMuchMemory };

struct DeltaEncoding {
    DeltaOutcome outcome = DeltaOutcome::made;
    std::vector<uint8_t> delta;  // the whole delta file when made
};

// The memory the encoder takes for a pair of files: both files, the base's suffix array and
// the raw streams.
uint64_t DeltaMemoryEstimate(uint64_t baseSize, uint64_t resultSize);

// Makes the delta that turns base into result: the bsdiff method (matches found through a
// suffix array of the base, approximate matches extended forwards and backwards and sent as
// byte differences, the rest as new bytes), packed in the delta container.
DeltaEncoding EncodeDelta(std::span<const uint8_t> base, std::span<const uint8_t> result,
                          const DeltaLimits& limits = {});
