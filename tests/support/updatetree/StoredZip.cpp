#include "support/updatetree/StoredZip.h"

#include <shlobj.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "framework/PathText.h"

namespace updatetree {

namespace {

class ByteWriter {
public:
    void U16(uint32_t value) {
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>((value >> 8) & 0xFF);
    }
    void U32(uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void Text(const std::string& text) { bytes += text; }
    std::string bytes;
};

uint16_t DosTime(const SYSTEMTIME& t) {
    return static_cast<uint16_t>((t.wHour << 11) | (t.wMinute << 5) | (t.wSecond / 2));
}

uint16_t DosDate(const SYSTEMTIME& t) {
    return static_cast<uint16_t>(((t.wYear - 1980) << 9) | (t.wMonth << 5) | t.wDay);
}

// The entry's data as raw deflate; empty when zlib fails.
std::string Deflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string packed(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    packed.resize(done ? stream.total_out : 0);
    deflateEnd(&stream);
    return packed;
}

// The fields local and central headers share, from "version needed" to the extra length.
void CommonFields(ByteWriter& out, const ZipEntry& entry, uint32_t crc, size_t packedSize) {
    out.U16(entry.deflated ? 20 : 10);  // version needed: 2.0 deflated, 1.0 stored
    out.U16(0);                         // flags
    out.U16(entry.deflated ? 8 : 0);    // method
    out.U16(DosTime(entry.time));
    out.U16(DosDate(entry.time));
    out.U32(crc);
    out.U32(static_cast<uint32_t>(packedSize));
    out.U32(static_cast<uint32_t>(entry.data.size()));
    out.U16(static_cast<uint32_t>(entry.name.size()));
    out.U16(0);  // extra length
}

}  // namespace

bool WriteStoredZip(const std::wstring& path, const std::vector<ZipEntry>& entries) {
    ByteWriter local;
    ByteWriter central;
    for (const ZipEntry& entry : entries) {
        const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()),
                                   static_cast<uInt>(entry.data.size()));
        const auto offset = static_cast<uint32_t>(local.bytes.size());
        const std::string packed = entry.deflated ? Deflate(entry.data) : entry.data;
        local.U32(0x04034b50);
        CommonFields(local, entry, crc, packed.size());
        local.Text(entry.name);
        local.Text(packed);

        central.U32(0x02014b50);
        central.U16(20);  // made by MS-DOS, 2.0
        CommonFields(central, entry, crc, packed.size());
        central.U16(0);  // comment length
        central.U16(0);  // disk
        central.U16(0);  // internal attributes
        central.U32(entry.name.empty() || entry.name.back() != '/' ? 0x20 : 0x10);
        central.U32(offset);
        central.Text(entry.name);
    }
    ByteWriter end;
    end.U32(0x06054b50);
    end.U16(0);
    end.U16(0);
    end.U16(static_cast<uint32_t>(entries.size()));
    end.U16(static_cast<uint32_t>(entries.size()));
    end.U32(static_cast<uint32_t>(central.bytes.size()));
    end.U32(static_cast<uint32_t>(local.bytes.size()));
    end.U16(0);

    const std::wstring folder = PathText::FolderPart(path);
    if (!folder.empty()) SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << local.bytes << central.bytes << end.bytes;
    return static_cast<bool>(file.flush());
}

}  // namespace updatetree
