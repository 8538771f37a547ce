#pragma once

#include <windows.h>
// CNG's header needs the platform's base types first.
#include <bcrypt.h>

#include "verify/HexText.h"

// ECDSA P-256 verification of a SHA-256 digest through the platform's CNG.
class CSignatureVerifier {
public:
    // Throws std::runtime_error when CNG refuses the key.
    explicit CSignatureVerifier(const PublicKey& key);
    ~CSignatureVerifier();
    CSignatureVerifier(const CSignatureVerifier&) = delete;
    CSignatureVerifier& operator=(const CSignatureVerifier&) = delete;

    bool Verify(const Sha256Digest& digest, const RawSignature& signature) const;

private:
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
};
