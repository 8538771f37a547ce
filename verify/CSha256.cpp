#include "verify/CSha256.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "framework/CFile.h"
#include "framework/CFileException.h"

namespace {

constexpr size_t kFileChunk = 65536;

void Check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) throw std::runtime_error(what);
}

}  // namespace

CSha256::CSha256() {
    Check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "SHA-256 is not available");
    const NTSTATUS status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
        throw std::runtime_error("SHA-256 hash cannot be made");
    }
}

CSha256::~CSha256() {
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
}

void CSha256::Update(const void* data, size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    // CNG takes 32-bit counts.
    while (size > 0) {
        const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 0x40000000));
        Check(BCryptHashData(hash, bytes, part, 0), "SHA-256 failed");
        bytes += part;
        size -= part;
    }
}

Sha256Digest CSha256::Finish() {
    Sha256Digest digest{};
    Check(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "SHA-256 failed");
    return digest;
}

Sha256Digest CSha256::Of(const void* data, size_t size) {
    CSha256 sha;
    sha.Update(data, size);
    return sha.Finish();
}

bool CSha256::OfFile(const std::wstring& path, Sha256Digest& digest, uint64_t& size) {
    try {
        CFile file;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite, false)) return false;
        CSha256 sha;
        std::vector<uint8_t> buffer(kFileChunk);
        size = 0;
        for (;;) {
            const unsigned n = file.Read(buffer.data(), static_cast<unsigned>(buffer.size()));
            if (n == 0) break;
            sha.Update(buffer.data(), n);
            size += n;
        }
        digest = sha.Finish();
        return true;
    } catch (CFileException* error) {
        error->Delete();
    } catch (const std::exception&) {
    }
    return false;
}
