#pragma once

#include <windows.h>
// CNG's header needs the platform's base types first.
#include <bcrypt.h>

#include <cstddef>
#include <string>

#include "verify/HexText.h"

// SHA-256 through the platform's CNG. Throws std::runtime_error when CNG refuses.
class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, size_t size);
    // The digest of everything given; the object is done afterwards.
    Sha256Digest Finish();

    static Sha256Digest Of(const void* data, size_t size);
    // The digest and size of a file, read once; nothing when it cannot be read.
    static bool OfFile(const std::wstring& path, Sha256Digest& digest, uint64_t& size);

private:
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};
