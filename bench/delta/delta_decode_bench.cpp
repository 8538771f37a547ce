// The decoder's speed from file to file, natively and under Wine (figures, not tests):
//   delta_decode_bench BASE DELTA RESULT [ROUNDS]
// delta_bench leaves a 16 MiB base and its delta to use here. Beside the best round it prints
// the first, and how long the machine takes to touch new memory of the base's size: the decoder
// holds the base in new memory, and where the allocator hands freed memory back to the system
// (Wine's heap does for large blocks, as Windows' does) every round pays that again.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "delta/DeltaFile.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Milliseconds to allocate size bytes and write each of their pages once.
double FirstTouchMs(size_t size) {
    const auto start = Clock::now();
    std::unique_ptr<char[]> block(new char[size]);
    std::memset(block.get(), 1, size);
    const double ms = Seconds(start) * 1e3;
    // Read back, so that the writes are not dropped.
    return block[size / 2] == 1 ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: delta_decode_bench BASE DELTA RESULT [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
    const std::filesystem::path base = argv[1], delta = argv[2], result = argv[3];
    // Before the rounds, while no freed block of that size is there to be handed out again.
    const auto baseSize = static_cast<size_t>(std::filesystem::file_size(base));
    const double touchMs = FirstTouchMs(baseSize);
    double best = 0, first = 0;
    for (int i = 0; i < rounds; ++i) {
        std::filesystem::remove(result);
        const auto start = Clock::now();
        const DeltaError error = ApplyDeltaFile(base.wstring(), delta.wstring(), result.wstring());
        const double seconds = Seconds(start);
        if (error != DeltaError::none) {
            std::fprintf(stderr, "delta_decode_bench: %s\n", DeltaErrorText(error));
            return 1;
        }
        const double rate = std::filesystem::file_size(result) / seconds / 1e6;
        best = rate > best ? rate : best;
        first = i == 0 ? rate : first;
    }
    std::printf("decoder, file to file: best of %d rounds %.0f MB/s of result, first %.0f MB/s\n",
                rounds, best, first);
    std::printf("new memory of the base's size (%zu bytes), first touched: %.1f ms\n", baseSize,
                touchMs);
    std::filesystem::remove(result);
    return 0;
}
