// Delta sizes and speed (figures, not tests). Usage: delta_bench PAIRS WORK
//   PAIRS: the PE files of tests/delta/make_pe_pairs.sh (base.exe, fix.exe, stamp.exe)
//   WORK:  a folder for the files it makes; it leaves there release16.base and .delta for
//          delta_decode_bench (under Wine too).
// Prints, per PE pair, the deflated file (what a package costs), our delta, Debian bsdiff's and
// xdelta3 -9 -S none's; then the release of the issue (a 16 MiB file and the PE with a small
// fix): bytes to fetch as packages and as deltas; then our encoder's and decoder's speed.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "delta/DeltaDecoder.h"
#include "tools/publish/DeltaEncoder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

size_t Deflated(const Bytes& bytes) {
    uLongf length = compressBound(static_cast<uLong>(bytes.size()));
    Bytes packed(length);
    compress2(packed.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9);
    return length;
}

// Size of a reference tool's delta; 0 when the tool failed.
size_t ToolDelta(const std::string& command, const fs::path& out) {
    fs::remove(out);
    if (std::system(command.c_str()) != 0 || !fs::exists(out)) return 0;
    return fs::file_size(out);
}

class MemorySource : public IDeltaSource {
public:
    explicit MemorySource(const Bytes& bytes) : bytes(bytes) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > bytes.size() || count > bytes.size() - offset) return false;
        std::memcpy(buffer, bytes.data() + offset, count);
        return true;
    }

private:
    const Bytes& bytes;
};

class CountingSink : public IDeltaSink {
public:
    bool Write(const void*, size_t count) override {
        written += count;
        return true;
    }
    uint64_t written = 0;
};

// A data file of 16 MiB, compressible like a program's code, and the same with a small fix:
// a few bytes changed here and there and a short insertion.
void MakeLargePair(Bytes& base, Bytes& fixed) {
    std::mt19937 random(7);
    base.resize(16u << 20);
    const uint8_t alphabet[] = {0x00, 0x48, 0x8b, 0x89, 0xe8, 0xff, 0x0f, 0x24, 0x45, 0xc3};
    for (uint8_t& b : base) b = alphabet[random() % sizeof alphabet];
    fixed = base;
    for (size_t i = 4096; i < fixed.size(); i += 1u << 20) fixed[i] ^= 0x20;
    const char fix[] = "a small fix";
    fixed.insert(fixed.begin() + static_cast<ptrdiff_t>(fixed.size() / 2), fix, fix + sizeof fix);
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: delta_bench PAIRS WORK\n");
        return 2;
    }
    const fs::path pairs = argv[1], work = argv[2];
    fs::create_directories(work);
    std::printf("%-12s %10s %10s %10s %10s %10s\n", "pair", "file", "deflated", "ours", "bsdiff",
                "xdelta3");
    size_t releasePackages = 0, releaseDeltas = 0;
    for (const char* name : {"fix", "stamp"}) {
        const fs::path oldFile = pairs / "base.exe", newFile = pairs / (std::string(name) + ".exe");
        const Bytes oldBytes = ReadFile(oldFile), newBytes = ReadFile(newFile);
        const DeltaEncoding ours = EncodeDelta(oldBytes, newBytes);
        const size_t bsdiff = ToolDelta("bsdiff '" + oldFile.string() + "' '" + newFile.string() +
                                            "' '" + (work / "pair.bsdiff").string() + "'",
                                        work / "pair.bsdiff");
        const size_t xdelta =
            ToolDelta("xdelta3 -9 -S none -f -e -s '" + oldFile.string() + "' '" +
                          newFile.string() + "' '" + (work / "pair.vcdiff").string() + "'",
                      work / "pair.vcdiff");
        const size_t deflated = Deflated(newBytes);
        std::printf("base-%-7s %10zu %10zu %10zu %10zu %10zu\n", name, newBytes.size(), deflated,
                    ours.delta.size(), bsdiff, xdelta);
        if (std::strcmp(name, "fix") == 0) {
            releasePackages += deflated;
            releaseDeltas += ours.delta.size();
        }
    }

    Bytes base, fixed;
    MakeLargePair(base, fixed);
    auto start = Clock::now();
    const DeltaEncoding large = EncodeDelta(base, fixed);
    const double encodeSeconds = Seconds(start);
    WriteFile(work / "release16.base", base);
    WriteFile(work / "release16.delta", large.delta);
    const size_t largeDeflated = Deflated(fixed);
    std::printf("16 MiB fix   %10zu %10zu %10zu\n", fixed.size(), largeDeflated,
                large.delta.size());
    releasePackages += largeDeflated;
    releaseDeltas += large.delta.size();
    std::printf(
        "release (16 MiB file + PE, small fixes): packages %zu bytes, deltas %zu bytes "
        "(%.2f %%)\n",
        releasePackages, releaseDeltas, 100.0 * releaseDeltas / releasePackages);
    std::printf("encoder: 16 MiB in %.2f s\n", encodeSeconds);

    constexpr int rounds = 5;
    start = Clock::now();
    uint64_t written = 0;
    for (int i = 0; i < rounds; ++i) {
        MemorySource source(large.delta);
        CountingSink sink;
        if (ApplyDelta(base, source, large.delta.size(), sink) != DeltaError::none) return 1;
        written += sink.written;
    }
    std::printf("decoder (memory to counter): %.0f MB/s of result\n",
                written / Seconds(start) / 1e6);
    return 0;
}
