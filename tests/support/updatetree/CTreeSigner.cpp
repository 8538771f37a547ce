#include "support/updatetree/CTreeSigner.h"

#include <wincrypt.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace updatetree {

namespace {

constexpr size_t kCoordinate = 32;
// The PKCS#8 form libcrypto writes for a P-256 key: a fixed header, the private number d, a
// fixed middle, then x and y.
constexpr size_t kDerSize = 138;
constexpr size_t kPrivateAt = 36;
constexpr size_t kPointAt = 74;
constexpr uint8_t kHeader[] = {0x30, 0x81, 0x87, 0x02, 0x01, 0x00, 0x30, 0x13, 0x06,
                               0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01, 0x06,
                               0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07,
                               0x04, 0x6d, 0x30, 0x6b, 0x02, 0x01, 0x01, 0x04, 0x20};
constexpr uint8_t kMiddle[] = {0xa1, 0x44, 0x03, 0x42, 0x00, 0x04};

std::vector<uint8_t> TestKeyDer() {
    std::ifstream file(PELKO_TEST_RELEASE_KEY, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const std::string pem = text.str();
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        throw std::runtime_error("the test release key cannot be read");
    std::vector<uint8_t> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &size, nullptr, nullptr);
    if (der.size() != kDerSize || std::memcmp(der.data(), kHeader, sizeof kHeader) != 0 ||
        std::memcmp(der.data() + kPrivateAt + kCoordinate, kMiddle, sizeof kMiddle) != 0)
        throw std::runtime_error("the test release key is not in libcrypto's P-256 form");
    return der;
}

void Check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) throw std::runtime_error(what);
}

}  // namespace

CTreeSigner::CTreeSigner() {
    Check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0),
          "no ECDSA P-256");
}

CTreeSigner::CTreeSigner(CTreeSigner&& other) noexcept
    : algorithm(other.algorithm), key(other.key) {
    other.algorithm = nullptr;
    other.key = nullptr;
}

CTreeSigner::~CTreeSigner() {
    if (key) BCryptDestroyKey(key);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
}

CTreeSigner CTreeSigner::TestKey() {
    const std::vector<uint8_t> der = TestKeyDer();
    CTreeSigner signer;
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinate);
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, kCoordinate};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, der.data() + kPointAt, 2 * kCoordinate);
    std::memcpy(blob.data() + sizeof header + 2 * kCoordinate, der.data() + kPrivateAt,
                kCoordinate);
    Check(BCryptImportKeyPair(signer.algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &signer.key,
                              blob.data(), static_cast<ULONG>(blob.size()), 0),
          "the test release key cannot be imported");
    return signer;
}

CTreeSigner CTreeSigner::NewKey() {
    CTreeSigner signer;
    Check(BCryptGenerateKeyPair(signer.algorithm, &signer.key, 256, 0), "no new key");
    Check(BCryptFinalizeKeyPair(signer.key, 0), "no new key");
    return signer;
}

RawSignature CTreeSigner::Sign(const Sha256Digest& digest) const {
    RawSignature signature{};
    ULONG written = 0;
    Check(BCryptSignHash(key, nullptr, const_cast<PUCHAR>(digest.data()),
                         static_cast<ULONG>(digest.size()), signature.data(),
                         static_cast<ULONG>(signature.size()), &written, 0),
          "cannot sign");
    if (written != signature.size()) throw std::runtime_error("a signature of another size");
    return signature;
}

PublicKey CTreeSigner::Public() const {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinate);
    ULONG written = 0;
    Check(BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(),
                          static_cast<ULONG>(blob.size()), &written, 0),
          "cannot export the public key");
    PublicKey publicKey{};
    std::memcpy(publicKey.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), publicKey.size());
    return publicKey;
}

}  // namespace updatetree
