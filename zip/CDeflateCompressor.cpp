#include "zip/CDeflateCompressor.h"

#include <algorithm>
#include <cstring>

#include "zip/CZipException.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipStorage.h"

namespace ZipSupport {

namespace {

constexpr int defaultBufferSize = 0x20000;
constexpr uint32_t encryptionHeaderSize = 12;

}  // namespace

CDeflateCompressor::CDeflateCompressor(CZipStorage* storage) : CBaseLibCompressor(storage) {}

CDeflateCompressor::~CDeflateCompressor() { EndStream(); }

void CDeflateCompressor::InitReading(CZipFileHeader* entry) {
    record = entry;
    inputBuffer.Allocate(options.bufferSize > 0 ? uint32_t(options.bufferSize)
                                                : uint32_t(defaultBufferSize));
    const uint32_t header =
        entry->encryptionMethod == CZipFileHeader::traditionalEncryption ? encryptionHeaderSize : 0;
    remainingCompressed = entry->compressedSize - std::min(header, entry->compressedSize);
    remainingUncompressed = entry->uncompressedSize;
    crc = 0;
    finished = false;
    dummyOffered = false;
    EndStream();
    stream = z_stream{};
    if (entry->method == methodDeflate) {
        stream.zalloc = &CBaseLibCompressor::Allocate;
        stream.zfree = &CBaseLibCompressor::Free;
        stream.opaque = options.detectLeaks ? &allocations : nullptr;
        const int result = inflateInit2(&stream, -MAX_WBITS);
        if (result != Z_OK) ThrowError(result);
        streamReady = true;
    }
    stream.total_out = 0;
    stream.avail_in = 0;
}

unsigned CDeflateCompressor::ReadData(void* buffer, unsigned size) {
    if (finished) return 0;
    const bool deflated = record->method == methodDeflate;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    unsigned room = std::min(size, remainingUncompressed);
    // Room 0 with input left: one call lets inflate reach the end of the stream.
    const bool force = deflated && room == 0 && remainingCompressed > 0;
    unsigned produced = 0;
    while (room > 0 || (force && remainingCompressed > 0)) {
        if (stream.avail_in == 0 && !FillInput()) break;
        if (deflated) {
            bool ended = false;
            const unsigned n = Inflate(out + produced, room, ended);
            produced += n;
            room -= n;
            if (ended) {
                finished = true;
                return produced;
            }
        } else {
            const unsigned n = Copy(out + produced, room);
            produced += n;
            room -= n;
        }
    }
    // Stored data longer than its declared size: the rest would be dropped unseen.
    if (produced == 0 && size != 0 && !deflated && (stream.avail_in > 0 || remainingCompressed > 0))
        storage->ThrowError(CZipException::badZipFile);
    if (produced == 0 && options.checkLastBlock && size != 0 && deflated) {
        // Nothing more to produce: the stream must end here, or its last block is missing.
        stream.next_out = out;
        stream.avail_out = 0;
        if (inflate(&stream, Z_SYNC_FLUSH) != Z_STREAM_END)
            storage->ThrowError(CZipException::badZipFile);
        finished = true;
    }
    return produced;
}

bool CDeflateCompressor::FillInput() {
    const uint32_t count = std::min(inputBuffer.GetSize(), remainingCompressed);
    stream.next_in = inputBuffer.Data();
    if (count != 0) {
        storage->Read(inputBuffer.Data(), count, false);
        remainingCompressed -= count;
        stream.avail_in = count;
        return true;
    }
    // Stored data and a deflate stream that was given its one spare byte have nothing more.
    if (record->method != methodDeflate || dummyOffered) return false;
    dummyOffered = true;
    stream.avail_in = 1;
    return true;
}

unsigned CDeflateCompressor::Inflate(uint8_t* out, unsigned room, bool& ended) {
    stream.next_out = out;
    stream.avail_out = room;
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    const unsigned n = room - stream.avail_out;
    crc = ::crc32(crc, out, n);
    remainingUncompressed -= n;
    ended = result == Z_STREAM_END;
    if (!ended && !IsCodeOk(result)) ThrowError(result);
    return n;
}

unsigned CDeflateCompressor::Copy(uint8_t* out, unsigned room) {
    const unsigned n = std::min(room, unsigned(stream.avail_in));
    std::memcpy(out, stream.next_in, n);
    crc = ::crc32(crc, out, n);
    stream.next_in += n;
    stream.avail_in -= n;
    stream.total_out += n;
    remainingUncompressed -= n;
    return n;
}

void CDeflateCompressor::FinishReading(bool) {
    EndStream();
    ReleaseAllocations();
    inputBuffer.Release();
}

void CDeflateCompressor::EndStream() {
    if (streamReady) inflateEnd(&stream);
    streamReady = false;
}

int CDeflateCompressor::ConvertLibraryError(int code) const {
    switch (code) {
        case Z_STREAM_END:
            return CZipException::streamEnd;
        case Z_NEED_DICT:
            return CZipException::needDict;
        case Z_ERRNO:
            return CZipException::errNo;
        case Z_STREAM_ERROR:
            return CZipException::streamError;
        case Z_DATA_ERROR:
            return CZipException::dataError;
        case Z_MEM_ERROR:
            return CZipException::memError;
        case Z_BUF_ERROR:
            return CZipException::bufError;
        case Z_VERSION_ERROR:
            return CZipException::versionError;
        default:
            return CZipException::genericError;
    }
}

}  // namespace ZipSupport
