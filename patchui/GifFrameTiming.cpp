#include "patchui/GifFrameTiming.h"

#include <algorithm>

#include "patchui/GifStream.h"

uint32_t GifFrameWaitMs(uint32_t delay, int delayFactor) {
    constexpr uint32_t kShortFrameMs = 100;
    constexpr uint64_t kLongestWaitMs = 0xFFFFFFFE;
    if (delay == GifFrameCut::kNoDelay || delay < 5) return kShortFrameMs;
    const uint64_t factor = static_cast<uint64_t>(std::max(delayFactor, 1));
    return static_cast<uint32_t>(std::min(uint64_t{delay} * factor * 10, kLongestWaitMs));
}
