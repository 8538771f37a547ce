#include "tools/publish/CPackageWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <memory>

#include "tools/publish/CPublishError.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kArchiveAttribute = 0x20;
constexpr uint32_t kCompressionLevel = 9;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveCloser>;

[[noreturn]] void Fail(const fs::path& archive, const std::string& why) {
    std::error_code ignored;
    fs::remove(archive, ignored);
    throw CPublishError("cannot write " + archive.string() + ": " + why);
}

// Adds one entry whose data comes from source; the archive owns source from the call on.
void AddEntry(const fs::path& archive, zip_t* za, const std::string& entryName,
              zip_source_t* source, const WallClock& stamp) {
    if (!source) Fail(archive, zip_strerror(za));
    // The name's bytes are stored as they are: no UTF-8 flag, no Unicode-path extra field.
    const zip_int64_t index =
        zip_file_add(za, entryName.c_str(), source, ZIP_FL_ENC_CP437 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        Fail(archive, zip_strerror(za));
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(za, entry, ZIP_CM_DEFLATE, kCompressionLevel) != 0 ||
        zip_file_set_dostime(za, entry, stamp.DosTime(), stamp.DosDate(), 0) != 0 ||
        zip_file_set_external_attributes(za, entry, 0, ZIP_OPSYS_WINDOWS_NTFS, kArchiveAttribute) !=
            0)
        Fail(archive, zip_strerror(za));
}

// The source file as the archive's data source, or null. A link put in the source's place
// since it was checked is not followed either.
zip_source_t* UnfollowedFileSource(zip_t* za, const fs::path& source) {
    const int descriptor = open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    FILE* file = fdopen(descriptor, "rb");
    if (!file) {
        close(descriptor);
        return nullptr;
    }
    zip_source_t* data = zip_source_filep(za, file, 0, -1);  // owns the file from here
    if (!data) std::fclose(file);
    return data;
}

// addEntries adds the entries to the open archive, in order.
template <class AddEntries>
void Write(const fs::path& archive, AddEntries addEntries) {
    int error = 0;
    ArchiveHandle handle(zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!handle) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const std::string why = zip_error_strerror(&details);
        zip_error_fini(&details);
        Fail(archive, why);
    }
    zip_t* za = handle.get();
    addEntries(za);
    if (zip_close(za) != 0) Fail(archive, zip_strerror(za));
    handle.release();  // zip_close freed it
}

}  // namespace

void CPackageWriter::WriteFile(const fs::path& archive, const std::string& entryName,
                               const fs::path& source, const WallClock& stamp) {
    Write(archive, [&](zip_t* za) {
        AddEntry(archive, za, entryName, UnfollowedFileSource(za, source), stamp);
    });
}

void CPackageWriter::WriteText(const fs::path& archive, const std::string& entryName,
                               const std::string& text, const WallClock& stamp) {
    WriteTexts(archive, {{entryName, text}}, stamp);
}

void CPackageWriter::WriteTexts(const fs::path& archive, const std::vector<NamedText>& entries,
                                const WallClock& stamp) {
    // The archive reads the texts while it closes, which happens before they go away.
    Write(archive, [&](zip_t* za) {
        for (const NamedText& entry : entries)
            AddEntry(archive, za, entry.first,
                     zip_source_buffer(za, entry.second.data(), entry.second.size(), 0), stamp);
    });
}
