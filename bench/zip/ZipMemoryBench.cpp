// Peak memory of extracting entry 0 of one package, as the component does. Prints figures; it
// is not a test. Run it once with an ordinary package for the process's own baseline.
//   zip_memory_bench ARCHIVE [FOLDER]          extract into FOLDER (default ./zip-memory)
//   zip_memory_bench --extra-blocks N ARCHIVE  write an archive of N records, each with an
//                                              extra field of 16,383 empty 4-byte blocks
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/CFileException.h"
#include "zip/CZipArchive.h"
#include "zip/CZipException.h"

#ifdef _WIN32
#include <windows.h>
// psapi.h after windows.h.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

// Peak resident and (on Windows) peak committed memory of this process, in KiB.
void PrintPeak() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("peak working set %llu KiB, peak committed %llu KiB\n",
                static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024),
                static_cast<unsigned long long>(counters.PeakPagefileUsage / 1024));
#else
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident %ld KiB\n", usage.ru_maxrss);
#endif
}

void Put16(std::string& out, uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }

void Put32(std::string& out, uint32_t v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }

// One stored empty entry "e" and n central records of it at distinct offsets, each with the
// largest extra field made of empty blocks. Offsets past the first point nowhere, which only
// matters to an extraction of entries other than 0.
int WriteExtraBlocks(unsigned n, const char* path) {
    std::string local = "PK\x03\x04";
    Put16(local, 10), Put16(local, 0), Put16(local, 0), Put32(local, 0), Put32(local, 0);
    Put32(local, 0), Put32(local, 0), Put16(local, 1), Put16(local, 0);
    local += 'e';
    const std::string extra(65532, '\0');
    std::ofstream out(path, std::ios::binary);
    out << local;
    for (unsigned i = 0; i < n; ++i) {
        std::string record = "PK\x01\x02";
        Put16(record, 0x0314), Put16(record, 10), Put16(record, 0), Put16(record, 0);
        Put32(record, 0), Put32(record, 0), Put32(record, 0), Put32(record, 0);
        Put16(record, 1), Put16(record, uint32_t(extra.size())), Put16(record, 0);
        Put16(record, 0), Put16(record, 0), Put32(record, 0100644u << 16);
        Put32(record, i == 0 ? 0 : uint32_t(local.size()) + i);
        out << record << 'e' << extra;
    }
    const uint64_t size = uint64_t(n) * (46 + 1 + extra.size());
    std::string end = "PK\x05\x06";
    Put16(end, 0), Put16(end, 0), Put16(end, n & 0xFFFF), Put16(end, n & 0xFFFF);
    Put32(end, uint32_t(size)), Put32(end, uint32_t(local.size())), Put16(end, 0);
    out << end;
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--extra-blocks") == 0)
        return WriteExtraBlocks(unsigned(std::strtoul(argv[2], nullptr, 10)), argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "zip_memory_bench ARCHIVE [FOLDER]\n");
        return 2;
    }
    const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::current_path() / "zip-memory";
    fs::create_directories(folder);
    const auto start = std::chrono::steady_clock::now();
    const char* outcome = "false";
    try {
        CZipArchive archive;
        archive.OpenArchive(fs::path(argv[1]).wstring(), 0, 0);
        std::printf("%u entries\n", archive.GetCount());
        if (archive.ExtractEntry(0, folder.wstring().c_str(), true, nullptr, 65536)) {
            archive.CloseArchive(0, false);
            outcome = "true";
        }
    } catch (CZipException* e) {
        outcome = "CZipException";
        e->Delete();
    } catch (CFileException* e) {
        outcome = "CFileException";
        e->Delete();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s in %.3f s\n", argv[1], outcome, seconds);
    PrintPeak();
    return 0;
}
