// Extraction speed of the ZIP reader against a plain zlib inflate loop and Info-ZIP's unzip,
// on one 256 MiB entry deflated and stored. Prints figures; it is not a test.
//   zip_bench [WORK_FOLDER]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/CFileException.h"
#include "zip/CZipArchive.h"
#include "zip/CZipException.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t dataSize = size_t(256) << 20;
constexpr int rounds = 5;

// Text-like data that deflates to about a third: words from a small vocabulary with numbers.
void WriteData(const fs::path& path) {
    static const char* words[] = {"update",   "component", "loader", "package", "registry",
                                  "download", "install",   "folder", "version", "server"};
    std::vector<char> chunk;
    chunk.reserve(1 << 20);
    uint64_t seed = 88172645463325252ull;
    FILE* out = std::fopen(path.c_str(), "wb");
    size_t written = 0;
    while (written < dataSize) {
        chunk.clear();
        while (chunk.size() < (1u << 20) - 64) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            const char* word = words[seed % 10];
            chunk.insert(chunk.end(), word, word + std::strlen(word));
            char number[24];
            const int n = std::snprintf(number, sizeof number, " %u%c", unsigned(seed >> 40),
                                        (seed >> 20) % 8 == 0 ? '\n' : ' ');
            chunk.insert(chunk.end(), number, number + n);
        }
        const size_t n = std::min(chunk.size(), dataSize - written);
        std::fwrite(chunk.data(), 1, n, out);
        written += n;
    }
    std::fclose(out);
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
};

// Runs work in a child process: its wall time and peak resident memory.
Run Measure(const std::function<int()>& work) {
    // Every run starts with no dirty pages, so none pays for the write-back of another.
    sync();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measured run failed (status %d)\n", status);
        std::exit(1);
    }
    return run;
}

Run Best(const std::function<int()>& work) {
    Run best;
    for (int i = 0; i < rounds; ++i) {
        const Run run = Measure(work);
        if (i == 0 || run.seconds < best.seconds) best = run;
    }
    return best;
}

int ExtractWithReader(const fs::path& archivePath, const fs::path& folder) {
    try {
        CZipArchive archive;
        archive.OpenArchive(archivePath.wstring(), 0, 0);
        if (!archive.ExtractEntry(0, folder.wstring().c_str(), true, nullptr, 65536)) return 2;
        archive.CloseArchive(0, false);
        return 0;
    } catch (CZipException* e) {
        e->Delete();
    } catch (CFileException* e) {
        e->Delete();
    }
    return 3;
}

// Offset and size of the first entry's data, read from its local header and central record.
bool LocateData(const fs::path& archivePath, long& offset, uint32_t& compressed, int& method) {
    CZipArchive archive;
    archive.OpenArchive(archivePath.wstring(), 1, 0);
    const CZipFileHeader* entry = archive.GetEntry(0);
    compressed = entry->compressedSize;
    method = entry->method;
    FILE* in = std::fopen(archivePath.c_str(), "rb");
    unsigned char header[30];
    std::fseek(in, long(entry->localHeaderOffset), SEEK_SET);
    const bool ok = std::fread(header, 1, 30, in) == 30;
    std::fclose(in);
    offset = long(entry->localHeaderOffset) + 30 + (header[26] | header[27] << 8) +
             (header[28] | header[29] << 8);
    return ok;
}

// The loop anyone would write over zlib: read, inflate (or copy), CRC, write.
int PlainZlibLoop(const fs::path& archivePath, const fs::path& outPath, bool withCrc) {
    long offset = 0;
    uint32_t left = 0;
    int method = 0;
    if (!LocateData(archivePath, offset, left, method)) return 4;
    FILE* in = std::fopen(archivePath.c_str(), "rb");
    FILE* out = std::fopen(outPath.c_str(), "wb");
    std::fseek(in, offset, SEEK_SET);
    std::vector<unsigned char> input(131072), output(65536);
    z_stream stream{};
    inflateInit2(&stream, -15);
    uLong crc = 0;
    int result = Z_OK;
    while (left > 0 || stream.avail_in > 0) {
        if (stream.avail_in == 0) {
            const size_t n = std::fread(input.data(), 1, std::min<size_t>(input.size(), left), in);
            left -= uint32_t(n);
            stream.next_in = input.data();
            stream.avail_in = unsigned(n);
        }
        unsigned produced = 0;
        if (method == 0) {
            produced = std::min<unsigned>(stream.avail_in, unsigned(output.size()));
            std::memcpy(output.data(), stream.next_in, produced);
            stream.next_in += produced;
            stream.avail_in -= produced;
        } else {
            stream.next_out = output.data();
            stream.avail_out = unsigned(output.size());
            result = inflate(&stream, Z_SYNC_FLUSH);
            produced = unsigned(output.size()) - stream.avail_out;
        }
        if (withCrc) crc = crc32(crc, output.data(), produced);
        std::fwrite(output.data(), 1, produced, out);
        if (result == Z_STREAM_END || (result != Z_OK && result != Z_BUF_ERROR)) break;
    }
    inflateEnd(&stream);
    std::fclose(in);
    std::fclose(out);
    return result == Z_STREAM_END || method == 0 ? 0 : 5;
}

// zlib's crc32 alone over as many bytes, in the reader's 64 KiB output chunks.
int CrcOnly() {
    std::vector<unsigned char> chunk(65536, 0x5A);
    uLong crc = 0;
    for (size_t done = 0; done < dataSize; done += chunk.size())
        crc = crc32(crc, chunk.data(), unsigned(chunk.size()));
    return crc == 0 ? 7 : 0;
}

int Unzip(const fs::path& archivePath, const fs::path& folder) {
    const std::string command =
        "unzip -o -qq '" + archivePath.string() + "' -d '" + folder.string() + "'";
    return std::system(command.c_str()) == 0 ? 0 : 6;
}

void Report(const char* what, const fs::path& archivePath, const fs::path& work) {
    const fs::path out = work / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    const Run reader = Best([&] { return ExtractWithReader(archivePath, out); });
    const Run plain = Best([&] { return PlainZlibLoop(archivePath, out / "plain.bin", false); });
    const Run plainCrc = Best([&] { return PlainZlibLoop(archivePath, out / "crc.bin", true); });
    const Run unzip = Best([&] { return Unzip(archivePath, out); });
    const double mib = double(dataSize) / (1 << 20);
    std::printf("%s entry (%.0f MiB, archive %.1f MiB), best of %d:\n", what, mib,
                double(fs::file_size(archivePath)) / (1 << 20), rounds);
    const auto line = [&](const char* name, const Run& run) {
        std::printf("  %-30s %7.3f s  %7.1f MiB/s  peak %6ld KiB  reader/this %.3f\n", name,
                    run.seconds, mib / run.seconds, run.peakKiB, reader.seconds / run.seconds);
    };
    line("our reader (ExtractEntry)", reader);
    line("plain zlib loop", plain);
    line("plain zlib loop with crc32", plainCrc);
    line("unzip -o", unzip);
    line("(zlib crc32 alone, in memory)", Best(CrcOnly));
    fs::remove_all(out);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "zip-bench";
    fs::create_directories(work);
    const fs::path data = work / "data.bin";
    if (!fs::exists(data) || fs::file_size(data) != dataSize) {
        std::printf("writing %zu MiB of data and the two archives...\n", dataSize >> 20);
        WriteData(data);
        fs::remove(work / "deflated.zip");
        fs::remove(work / "stored.zip");
    }
    const std::string zip = "cd '" + work.string() + "' && ";
    if (!fs::exists(work / "deflated.zip") &&
        std::system((zip + "zip -q deflated.zip data.bin").c_str()) != 0)
        return 1;
    if (!fs::exists(work / "stored.zip") &&
        std::system((zip + "zip -q -0 stored.zip data.bin").c_str()) != 0)
        return 1;
    Report("deflated", work / "deflated.zip", work);
    Report("stored", work / "stored.zip", work);
    return 0;
}
