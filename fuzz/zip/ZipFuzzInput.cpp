#include "ZipFuzzInput.h"

#include "framework/CFileException.h"
#include "zip/CZipException.h"
#include "zip/CZipMemFile.h"

namespace ZipFuzz {

void WithArchive(const uint8_t* data, size_t size, const std::function<void(CZipArchive&)>& use) {
    CZipMemFile file(data, size);
    CZipArchive archive;
    try {
        archive.OpenArchive(file, CZipArchive::zipOpenReadOnly);
        use(archive);
        archive.CloseArchive(0, false);
    } catch (CZipException* e) {
        e->Delete();
    } catch (CFileException* e) {
        e->Delete();
    }
}

}  // namespace ZipFuzz
