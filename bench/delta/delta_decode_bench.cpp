// The decoder's speed from file to file, natively and under Wine (figures, not tests):
//   delta_decode_bench BASE DELTA RESULT [ROUNDS]
// delta_bench leaves a 16 MiB base and its delta to use here.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "delta/DeltaFile.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: delta_decode_bench BASE DELTA RESULT [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
    const std::filesystem::path base = argv[1], delta = argv[2], result = argv[3];
    double best = 0;
    for (int i = 0; i < rounds; ++i) {
        std::filesystem::remove(result);
        const auto start = std::chrono::steady_clock::now();
        const DeltaError error = ApplyDeltaFile(base.wstring(), delta.wstring(), result.wstring());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (error != DeltaError::none) {
            std::fprintf(stderr, "delta_decode_bench: %s\n", DeltaErrorText(error));
            return 1;
        }
        const double rate = std::filesystem::file_size(result) / seconds / 1e6;
        best = rate > best ? rate : best;
    }
    std::printf("decoder, file to file: best of %d rounds %.0f MB/s of result\n", rounds, best);
    std::filesystem::remove(result);
    return 0;
}
