// Writes a few valid deltas against the fuzzer's 64-byte base into a folder, as seeds.
#include <cstdio>
#include <string>

#include "delta/DeltaPacking.h"

namespace {

void WriteSeed(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_delta_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    DeltaStreams copyAll;
    AppendTriple(copyAll.control, 64, 0, 0);
    copyAll.diff.assign(64, 0);
    WriteSeed(folder + "/identity.pdelta", PackDelta(64, 64, copyAll));

    DeltaStreams mixed;
    AppendTriple(mixed.control, 10, 4, 20);
    AppendTriple(mixed.control, 8, 2, -30);
    AppendTriple(mixed.control, 5, 0, 0);
    mixed.diff.assign(23, 1);
    mixed.extra = {'a', 'b', 'c', 'd', 'e', 'f'};
    WriteSeed(folder + "/mixed.pdelta", PackDelta(64, 29, mixed));

    DeltaStreams extraOnly;
    AppendTriple(extraOnly.control, 0, 3, 0);
    extraOnly.extra = {'x', 'y', 'z'};
    WriteSeed(folder + "/extra.pdelta", PackDelta(64, 3, extraOnly));
    return 0;
}
