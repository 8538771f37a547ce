#include "delta/DeltaFile.h"

#include <new>
#include <vector>

#include "delta/DeltaDecoder.h"
#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/FileSystem.h"

namespace {

// Runs a file call; a CFileException becomes false.
template <typename Call>
bool FileCall(Call call) {
    try {
        return call();
    } catch (CFileException* error) {
        error->Delete();
        return false;
    }
}

class CFileSource : public IDeltaSource {
public:
    explicit CFileSource(CFile& file) : file(file) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        return FileCall([&] {
            file.Seek(static_cast<int64_t>(offset), CFile::begin);
            return file.Read(buffer, static_cast<unsigned>(count)) == count;
        });
    }

private:
    CFile& file;
};

// Gathers the result into 1 MiB writes: fewer, larger writes are what the platform does best.
class CFileSink : public IDeltaSink {
public:
    explicit CFileSink(CFile& file) : file(file) { pending.reserve(capacity); }
    bool Write(const void* buffer, size_t count) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        while (count > 0) {
            const size_t part = std::min(count, capacity - pending.size());
            pending.insert(pending.end(), bytes, bytes + part);
            bytes += part;
            count -= part;
            if (pending.size() == capacity && !Flush()) {
                return false;
            }
        }
        return true;
    }
    bool Flush() {
        return FileCall([&] {
            file.Write(pending.data(), static_cast<unsigned>(pending.size()));
            pending.clear();
            return true;
        });
    }

private:
    static constexpr size_t capacity = 1 << 20;
    CFile& file;
    std::vector<uint8_t> pending;
};

DeltaError ReadBase(const std::wstring& basePath, uint64_t expectedSize,
                    std::vector<uint8_t>& base) {
    CFile file;
    if (!FileCall(
            [&] { return file.Open(basePath, CFile::modeRead | CFile::shareDenyWrite, false); })) {
        return DeltaError::baseUnreadable;
    }
    uint64_t length = 0;
    if (!FileCall([&] {
            length = file.GetLength();
            return true;
        })) {
        return DeltaError::baseUnreadable;
    }
    if (length != expectedSize) {
        return DeltaError::baseSizeMismatch;
    }
    if (length > SIZE_MAX / 2) {
        return DeltaError::outOfMemory;
    }
    try {
        base.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return DeltaError::outOfMemory;
    }
    size_t done = 0;
    while (done < base.size()) {
        const auto part = static_cast<unsigned>(std::min<size_t>(base.size() - done, 1u << 24));
        if (!FileCall([&] { return file.Read(base.data() + done, part) == part; })) {
            return DeltaError::baseUnreadable;
        }
        done += part;
    }
    return DeltaError::none;
}

DeltaError Apply(const std::wstring& basePath, const std::wstring& deltaPath,
                 std::optional<uint64_t> signedResultSize, CFile& result) {
    CFile delta;
    uint64_t deltaLength = 0;
    if (!FileCall([&] {
            if (!delta.Open(deltaPath, CFile::modeRead | CFile::shareDenyWrite, false)) {
                return false;
            }
            deltaLength = delta.GetLength();
            return true;
        })) {
        return DeltaError::deltaUnreadable;
    }
    CFileSource source(delta);
    DeltaHeader header;
    if (DeltaError error = ReadDeltaHeaderFrom(source, deltaLength, header);
        error != DeltaError::none) {
        return error;
    }
    if (signedResultSize && header.resultSize != *signedResultSize) {
        return DeltaError::resultSizeNotSigned;
    }
    std::vector<uint8_t> base;
    if (DeltaError error = ReadBase(basePath, header.baseSize, base); error != DeltaError::none) {
        return error;
    }
    CFileSink sink(result);
    DeltaError error = DecodeDelta(header, base, source, sink);
    if (error == DeltaError::none && !sink.Flush()) {
        error = DeltaError::resultUnwritable;
    }
    return error;
}

}  // namespace

DeltaError ApplyDeltaFile(const std::wstring& basePath, const std::wstring& deltaPath,
                          const std::wstring& resultPath, std::optional<uint64_t> signedResultSize) {
    if (!FileSystem::CreateNewFile(resultPath)) {
        return DeltaError::resultUnwritable;
    }
    DeltaError error;
    {
        CFile result;
        if (!FileCall([&] {
                return result.Open(resultPath, CFile::modeWrite | CFile::shareExclusive, false);
            })) {
            error = DeltaError::resultUnwritable;
        } else {
            error = Apply(basePath, deltaPath, signedResultSize, result);
            if (error == DeltaError::none && !FileCall([&] {
                    result.Close();
                    return true;
                })) {
                error = DeltaError::resultUnwritable;
            }
        }
    }
    if (error != DeltaError::none) {
        FileSystem::RemoveFile(resultPath);
    }
    return error;
}
