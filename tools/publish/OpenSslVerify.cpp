#include "tools/publish/OpenSslVerify.h"

#include <openssl/core_names.h>
#include <openssl/param_build.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/publish/CPublishError.h"
#include "tools/publish/OpenSslHandles.h"
#include "verify/ReleaseRules.h"

namespace fs = std::filesystem;

namespace OpenSslVerify {

namespace {

constexpr size_t kChunk = 65536;
constexpr size_t kCoordinate = 32;
constexpr size_t kLongestKeyFile = 4096;

PkeyHandle PublicKeyObject(const PublicKey& key) {
    unsigned char point[1 + 2 * kCoordinate];
    point[0] = 0x04;
    std::memcpy(point + 1, key.data(), key.size());
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
        OSSL_PARAM_construct_end()};
    PkeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* made = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return nullptr;
    return PkeyHandle(made);
}

// The DER sequence libcrypto verifies, from r and s.
std::vector<unsigned char> DerSignature(const RawSignature& raw) {
    SignatureHandle signature(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(raw.data(), kCoordinate, nullptr);
    BIGNUM* s = BN_bin2bn(raw.data() + kCoordinate, kCoordinate, nullptr);
    if (!signature || !r || !s || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    const int length = i2d_ECDSA_SIG(signature.get(), nullptr);
    if (length <= 0) return {};
    std::vector<unsigned char> der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_ECDSA_SIG(signature.get(), &out);
    return der;
}

}  // namespace

Sha256Digest Sha256(std::string_view bytes) {
    Sha256Digest digest{};
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr) != 1)
        throw CPublishError("libcrypto cannot compute SHA-256");
    return digest;
}

Sha256Digest Sha256OfFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    DigestContext context(EVP_MD_CTX_new());
    if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw CPublishError("cannot read " + file.string());
    std::vector<char> buffer(kChunk);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount())) != 1)
            throw CPublishError("libcrypto cannot compute SHA-256");
    }
    if (in.bad()) throw CPublishError("cannot read " + file.string());
    Sha256Digest digest{};
    if (EVP_DigestFinal_ex(context.get(), digest.data(), nullptr) != 1)
        throw CPublishError("libcrypto cannot compute SHA-256");
    return digest;
}

bool SignatureValid(const PublicKey& key, const Sha256Digest& digest,
                    const RawSignature& signature) {
    const PkeyHandle object = PublicKeyObject(key);
    const std::vector<unsigned char> der = DerSignature(signature);
    if (!object || der.empty()) return false;
    PkeyContext context(EVP_PKEY_CTX_new(object.get(), nullptr));
    return context && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_verify(context.get(), der.data(), der.size(), digest.data(), digest.size()) ==
               1;
}

std::vector<PublicKey> LoadPublicKeys(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CPublishError("cannot read " + file.string());
    std::string text(kLongestKeyFile + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    const auto keys = ReleaseRules::ParseKeyList(text);
    if (!keys || text.size() > kLongestKeyFile)
        throw CPublishError(file.string() + " holds no public key of pelko-publish keygen");
    for (const PublicKey& key : *keys)
        if (!PublicKeyObject(key))
            throw CPublishError(file.string() + " holds a key that is not a P-256 point");
    return *keys;
}

}  // namespace OpenSslVerify
