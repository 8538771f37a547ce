#include "tools/publish/DeltaEncoder.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstring>

#include "delta/DeltaPacking.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MatchLength(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    const size_t limit = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < limit && a[i] == b[i]) ++i;
    return static_cast<int64_t>(i);
}

// The longest match of target's start among the base's suffixes SA[low..high], by binary
// search; its length, and its base position in position.
int64_t Search(const std::vector<saidx_t>& suffixes, std::span<const uint8_t> base,
               std::span<const uint8_t> target, int64_t low, int64_t high, int64_t& position) {
    while (high - low >= 2) {
        const int64_t middle = low + (high - low) / 2;
        const auto at = static_cast<size_t>(suffixes[middle]);
        const size_t length = std::min(base.size() - at, target.size());
        if (std::memcmp(base.data() + at, target.data(), length) < 0) {
            low = middle;
        } else {
            high = middle;
        }
    }
    const int64_t lowLength = MatchLength(base.subspan(suffixes[low]), target);
    const int64_t highLength = MatchLength(base.subspan(suffixes[high]), target);
    if (lowLength > highLength) {
        position = suffixes[low];
        return lowLength;
    }
    position = suffixes[high];
    return highLength;
}

class CEncoder {
public:
    CEncoder(std::span<const uint8_t> base, std::span<const uint8_t> result,
             std::vector<saidx_t>& suffixes)
        : oldBytes(base), newBytes(result), suffixes(suffixes) {}

    // False when the deadline passed first.
    bool Run(Clock::time_point deadline, DeltaStreams& streams) {
        const int64_t newSize = static_cast<int64_t>(newBytes.size());
        int64_t scan = 0, length = 0, position = 0;
        int64_t lastScan = 0, lastPosition = 0, lastOffset = 0;
        uint32_t steps = 0;
        while (scan < newSize) {
            int64_t oldScore = 0;
            int64_t counted = scan += length;
            for (; scan < newSize; ++scan) {
                if (++steps % 4096 == 0 && Clock::now() > deadline) return false;
                length = Search(suffixes, oldBytes, newBytes.subspan(scan), 0,
                                static_cast<int64_t>(suffixes.size()) - 1, position);
                for (; counted < scan + length; ++counted)
                    if (OldAt(counted + lastOffset) == NewAt(counted)) ++oldScore;
                if ((length == oldScore && length != 0) || length > oldScore + 8) break;
                if (OldAt(scan + lastOffset) == NewAt(scan)) --oldScore;
            }
            if (length == oldScore && scan != newSize) continue;
            int64_t forward = ForwardLength(lastScan, lastPosition, scan);
            int64_t backward = scan < newSize ? BackwardLength(lastScan, scan, position) : 0;
            if (lastScan + forward > scan - backward) {
                const int64_t shift =
                    OverlapSplit(lastScan, lastPosition, forward, scan, position, backward);
                const int64_t overlap = (lastScan + forward) - (scan - backward);
                forward += shift - overlap;
                backward -= shift;
            }
            for (int64_t i = 0; i < forward; ++i)
                streams.diff.push_back(
                    static_cast<uint8_t>(newBytes[lastScan + i] - oldBytes[lastPosition + i]));
            const int64_t extra = (scan - backward) - (lastScan + forward);
            streams.extra.insert(streams.extra.end(), newBytes.begin() + lastScan + forward,
                                 newBytes.begin() + lastScan + forward + extra);
            AppendTriple(streams.control, forward, extra,
                         (position - backward) - (lastPosition + forward));
            lastScan = scan - backward;
            lastPosition = position - backward;
            lastOffset = position - scan;
        }
        return true;
    }

private:
    // -1 outside the base, so it matches no byte.
    int OldAt(int64_t i) const {
        return i >= 0 && i < static_cast<int64_t>(oldBytes.size()) ? oldBytes[i] : -1;
    }
    int NewAt(int64_t i) const { return newBytes[i]; }

    // How far the last match extends forwards with at least half its bytes equal.
    int64_t ForwardLength(int64_t lastScan, int64_t lastPosition, int64_t scan) const {
        int64_t same = 0, best = 0, length = 0;
        for (int64_t i = 0; lastScan + i < scan && lastPosition + i < Size(oldBytes);) {
            if (oldBytes[lastPosition + i] == newBytes[lastScan + i]) ++same;
            ++i;
            if (same * 2 - i > best * 2 - length) {
                best = same;
                length = i;
            }
        }
        return length;
    }

    // How far the next match extends backwards, the same way.
    int64_t BackwardLength(int64_t lastScan, int64_t scan, int64_t position) const {
        int64_t same = 0, best = 0, length = 0;
        for (int64_t i = 1; scan >= lastScan + i && position >= i; ++i) {
            if (oldBytes[position - i] == newBytes[scan - i]) ++same;
            if (same * 2 - i > best * 2 - length) {
                best = same;
                length = i;
            }
        }
        return length;
    }

    // Where the forward and backward extensions overlap, the split that keeps most equal bytes.
    int64_t OverlapSplit(int64_t lastScan, int64_t lastPosition, int64_t forward, int64_t scan,
                         int64_t position, int64_t backward) const {
        const int64_t overlap = (lastScan + forward) - (scan - backward);
        int64_t score = 0, best = 0, split = 0;
        for (int64_t i = 0; i < overlap; ++i) {
            if (newBytes[lastScan + forward - overlap + i] ==
                oldBytes[lastPosition + forward - overlap + i])
                ++score;
            if (newBytes[scan - backward + i] == oldBytes[position - backward + i]) --score;
            if (score > best) {
                best = score;
                split = i + 1;
            }
        }
        return split;
    }

    static int64_t Size(std::span<const uint8_t> bytes) {
        return static_cast<int64_t>(bytes.size());
    }

    std::span<const uint8_t> oldBytes;
    std::span<const uint8_t> newBytes;
    std::vector<saidx_t>& suffixes;
};

}  // namespace

uint64_t DeltaMemoryEstimate(uint64_t baseSize, uint64_t resultSize) {
    // The diff and extra streams together hold one byte per result byte; the control stream
    // and zlib's buffers are small beside them.
    return baseSize + sizeof(saidx_t) * baseSize + resultSize + resultSize;
}

DeltaEncoding EncodeDelta(std::span<const uint8_t> base, std::span<const uint8_t> result,
                          const DeltaLimits& limits) {
    const Clock::time_point deadline = Clock::now() + limits.time;
    DeltaEncoding encoding;
    const uint64_t allowed = limits.memoryFactor * std::max<uint64_t>(result.size(), 1);
    if (base.size() >= static_cast<uint64_t>(INT32_MAX) ||
        DeltaMemoryEstimate(base.size(), result.size()) > allowed) {
        encoding.outcome = DeltaOutcome::tooMuchMemory;
        return encoding;
    }
    DeltaStreams streams;
    if (base.empty()) {
        if (!result.empty())
            AppendTriple(streams.control, 0, static_cast<int64_t>(result.size()), 0);
        streams.extra.assign(result.begin(), result.end());
    } else {
        std::vector<saidx_t> suffixes(base.size());
        if (divsufsort(base.data(), suffixes.data(), static_cast<saidx_t>(base.size())) != 0) {
            encoding.outcome = DeltaOutcome::tooMuchMemory;
            return encoding;
        }
        if (!CEncoder(base, result, suffixes).Run(deadline, streams) || Clock::now() > deadline) {
            encoding.outcome = DeltaOutcome::tooSlow;
            return encoding;
        }
    }
    encoding.delta = PackDelta(base.size(), result.size(), streams);
    if (encoding.delta.empty()) encoding.outcome = DeltaOutcome::tooMuchMemory;
    return encoding;
}
