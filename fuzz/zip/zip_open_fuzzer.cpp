// Opening an archive and reading every record it lists.
#include "ZipFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZipFuzz::WithArchive(data, size, [](CZipArchive& archive) {
        for (uint16_t i = 0; i < archive.GetCount(); ++i) {
            CZipFileHeader* entry = archive.GetEntry(i);
            entry->GetName();
            entry->GetSystemAttributes();
            entry->GetModTime();
        }
    });
    return 0;
}
