#include "tools/publish/CPackageReader.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "framework/CFileException.h"
#include "framework/posix/PosixPath.h"
#include "tools/publish/CPublishError.h"
#include "zip/CZipException.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kChunk = 65536;

std::string MessageOf(const CException& error) {
    wchar_t text[512];
    if (!error.GetErrorMessage(text, std::size(text))) return "unknown error";
    return PosixPath::Native(text);
}

}  // namespace

template <class F>
auto CPackageReader::Guarded(F&& f) {
    try {
        return f();
    } catch (CException* error) {
        const std::string why = MessageOf(*error);
        error->Delete();
        Fail(why);
    }
}

void CPackageReader::Fail(const std::string& why) const {
    throw CPublishError(package.string() + ": " + why);
}

CPackageReader::CPackageReader(const fs::path& package) : package(package) {
    Guarded([&] { return archive.OpenArchive(package.wstring(), CZipArchive::zipOpenReadOnly); });
}

CPackageReader::~CPackageReader() {
    try {
        archive.CloseArchive(1);
    } catch (CException* error) {
        error->Delete();
    }
}

const CZipFileHeader& CPackageReader::First() {
    const CZipFileHeader* first = archive.GetEntry(0);
    if (!first) Fail("holds no entry");
    return *first;
}

std::string CPackageReader::Name(uint16_t index) {
    const CZipFileHeader* entry = archive.GetEntry(index);
    if (!entry) Fail("entry " + std::to_string(index) + " is missing");
    return std::string(reinterpret_cast<const char*>(entry->rawName.Data()),
                       entry->rawName.GetSize());
}

bool CPackageReader::FirstEquals(const fs::path& file) {
    if (First().uncompressedSize != fs::file_size(file)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail("cannot read " + file.string());
    return Guarded([&] {
        if (!archive.OpenEntry(0)) Fail("entry 0 cannot be read");
        std::vector<char> packed(kChunk), plain(kChunk);
        bool same = true;
        while (same) {
            const unsigned n = archive.ReadEntryData(packed.data(), kChunk);
            if (n == 0) break;
            in.read(plain.data(), n);
            same = in.gcount() == static_cast<std::streamsize>(n) &&
                   std::memcmp(packed.data(), plain.data(), n) == 0;
        }
        archive.CloseEntry(nullptr, !same);
        return same && in.peek() == std::char_traits<char>::eof();
    });
}

std::string CPackageReader::ReadEntry(uint16_t index, uint32_t limit) {
    const CZipFileHeader* entry = archive.GetEntry(index);
    const std::string which = "entry " + std::to_string(index);
    if (!entry) Fail(which + " is missing");
    if (entry->uncompressedSize > limit) Fail(which + " is too large");
    return Guarded([&] {
        if (!archive.OpenEntry(index)) Fail(which + " cannot be read");
        std::string text(entry->uncompressedSize, '\0');
        size_t done = 0;
        while (done < text.size()) {
            const unsigned n = archive.ReadEntryData(text.data() + done, text.size() - done);
            if (n == 0) break;
            done += n;
        }
        if (archive.CloseEntry(nullptr) != 1 || done != text.size()) Fail(which + " is cut short");
        return text;
    });
}

void CPackageReader::ExtractFirst(const fs::path& folder) {
    const bool done =
        Guarded([&] { return archive.ExtractEntry(0, folder.wstring().c_str(), true); });
    if (!done) Fail("entry 0 does not extract");
}
