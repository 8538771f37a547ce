#include "verify/CSignatureVerifier.h"

#include <cstring>
#include <stdexcept>
#include <vector>

CSignatureVerifier::CSignatureVerifier(const PublicKey& publicKey) {
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        throw std::runtime_error("ECDSA P-256 is not available");
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publicKey.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), publicKey.data(), publicKey.size());
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                            blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
        throw std::runtime_error("the update key is not a P-256 point");
    }
}

CSignatureVerifier::~CSignatureVerifier() {
    BCryptDestroyKey(key);
    BCryptCloseAlgorithmProvider(algorithm, 0);
}

bool CSignatureVerifier::Verify(const Sha256Digest& digest, const RawSignature& signature) const {
    // CNG does not write through these pointers when verifying.
    return BCRYPT_SUCCESS(BCryptVerifySignature(
        key, nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
        const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0));
}
