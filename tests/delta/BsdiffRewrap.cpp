// Test tool: takes a delta written by Debian's bsdiff (BSDIFF40: a 32-byte header of three
// sign-magnitude numbers, then bzip2 streams of control, diff and extra), rewraps the same
// three streams into our container and applies it with our decoder.
// Usage: bsdiff_rewrap BASE BSDIFF RESULT   (also writes RESULT.pdelta)
#include <bzlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "delta/DeltaFile.h"
#include "delta/DeltaHeader.h"
#include "delta/DeltaPacking.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool Bunzip(const uint8_t* data, size_t size, Bytes& raw) {
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) {
        return false;
    }
    stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    stream.avail_in = static_cast<unsigned>(size);
    int result = BZ_OK;
    char buffer[65536];
    while (result == BZ_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = BZ2_bzDecompress(&stream);
        raw.insert(raw.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        if (result == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            break;
        }
    }
    BZ2_bzDecompressEnd(&stream);
    return result == BZ_STREAM_END;
}

int Fail(const char* why) {
    std::fprintf(stderr, "bsdiff_rewrap: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return Fail("usage: bsdiff_rewrap BASE BSDIFF RESULT");
    }
    const Bytes patch = ReadFile(argv[2]);
    if (patch.size() < 32 || std::memcmp(patch.data(), "BSDIFF40", 8) != 0) {
        return Fail("not a BSDIFF40 file");
    }
    const int64_t controlLength = ReadSignedMagnitude(patch.data() + 8);
    const int64_t diffLength = ReadSignedMagnitude(patch.data() + 16);
    const int64_t resultSize = ReadSignedMagnitude(patch.data() + 24);
    if (controlLength < 0 || diffLength < 0 || resultSize < 0 ||
        static_cast<uint64_t>(controlLength + diffLength) > patch.size() - 32) {
        return Fail("bad BSDIFF40 header");
    }
    const uint8_t* control = patch.data() + 32;
    const uint8_t* diff = control + controlLength;
    const uint8_t* extra = diff + diffLength;
    DeltaStreams streams;
    if (!Bunzip(control, controlLength, streams.control) ||
        !Bunzip(diff, diffLength, streams.diff) ||
        !Bunzip(extra, patch.data() + patch.size() - extra, streams.extra)) {
        return Fail("a bzip2 stream does not decompress");
    }
    const uint64_t baseSize = std::filesystem::file_size(argv[1]);
    const Bytes delta = PackDelta(baseSize, resultSize, streams);
    const std::string deltaPath = std::string(argv[3]) + ".pdelta";
    std::ofstream(deltaPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(delta.data()),
               static_cast<std::streamsize>(delta.size()));
    std::filesystem::remove(argv[3]);
    const DeltaError error = ApplyDeltaFile(std::filesystem::path(argv[1]).wstring(),
                                            std::filesystem::path(deltaPath).wstring(),
                                            std::filesystem::path(argv[3]).wstring());
    if (error != DeltaError::none) {
        return Fail(DeltaErrorText(error));
    }
    return 0;
}
