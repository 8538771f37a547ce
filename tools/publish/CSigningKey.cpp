#include "tools/publish/CSigningKey.h"

#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tools/publish/CPublishError.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCoordinate = 32;
constexpr const char* kCurve = "prime256v1";

// A new file only the owner may read; an existing one is never overwritten.
FileHandle CreatePrivate(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) throw CPublishError("cannot create " + path.string() + ": " + std::strerror(errno));
    FileHandle file(::fdopen(fd, "w"));
    if (!file) {
        ::close(fd);
        throw CPublishError("cannot write " + path.string());
    }
    return file;
}

void WriteAll(FileHandle file, const fs::path& path, const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    if (std::fclose(file.release()) != 0 || !written)
        throw CPublishError("cannot write " + path.string());
}

bool IsP256(EVP_PKEY* key) {
    char group[64] = "";
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          nullptr) == 1 &&
           std::strcmp(group, kCurve) == 0;
}

}  // namespace

void CSigningKey::Generate(const fs::path& privateFile, const fs::path& publicFile) {
    if (fs::exists(publicFile)) throw CPublishError(publicFile.string() + " exists already");
    CSigningKey made{PkeyHandle(EVP_EC_gen(kCurve))};
    if (!made.key) throw CPublishError("libcrypto cannot make a P-256 key");
    const std::string publicLine = ToHex(made.Public()) + "\n";

    FileHandle file = CreatePrivate(privateFile);
    const bool written = PEM_write_PrivateKey(file.get(), made.key.get(), nullptr, nullptr, 0,
                                              nullptr, nullptr) == 1;
    if (std::fclose(file.release()) != 0 || !written) {
        fs::remove(privateFile);
        throw CPublishError("cannot write " + privateFile.string());
    }
    FileHandle publicOut(std::fopen(publicFile.c_str(), "wx"));
    if (!publicOut) {
        fs::remove(privateFile);
        throw CPublishError("cannot create " + publicFile.string());
    }
    try {
        WriteAll(std::move(publicOut), publicFile, publicLine);
    } catch (const CPublishError&) {
        // Neither half of a pair that was not written whole.
        fs::remove(publicFile);
        fs::remove(privateFile);
        throw;
    }
}

CSigningKey CSigningKey::Load(const fs::path& privateFile) {
    FileHandle file(std::fopen(privateFile.c_str(), "r"));
    if (!file) throw CPublishError("cannot read " + privateFile.string());
    PkeyHandle key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
    if (!key || !IsP256(key.get()))
        throw CPublishError(privateFile.string() + " holds no P-256 private key");
    return CSigningKey(std::move(key));
}

RawSignature CSigningKey::Sign(const Sha256Digest& digest) const {
    PkeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
    size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1)
        throw CPublishError("libcrypto cannot sign");
    std::vector<unsigned char> der(length);
    if (EVP_PKEY_sign(context.get(), der.data(), &length, digest.data(), digest.size()) != 1)
        throw CPublishError("libcrypto cannot sign");
    // CNG takes r and s as two fixed-size numbers, not OpenSSL's DER sequence.
    const unsigned char* in = der.data();
    SignatureHandle parsed(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
    RawSignature raw{};
    if (!parsed ||
        BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), raw.data(), kCoordinate) != kCoordinate ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), raw.data() + kCoordinate, kCoordinate) !=
            kCoordinate)
        throw CPublishError("libcrypto gave a signature of another form");
    return raw;
}

PublicKey CSigningKey::Public() const {
    unsigned char point[1 + 2 * kCoordinate];
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point,
                                        sizeof point, &length) != 1 ||
        length != sizeof point || point[0] != 0x04)
        throw CPublishError("libcrypto gave a public key of another form");
    PublicKey key{};
    std::memcpy(key.data(), point + 1, key.size());
    return key;
}
