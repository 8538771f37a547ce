#pragma once

#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>

// Owners of the libcrypto objects the publisher uses.
struct OpenSslFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
    void operator()(std::FILE* p) const { std::fclose(p); }
};
using PkeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, OpenSslFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, OpenSslFree>;
using SignatureHandle = std::unique_ptr<ECDSA_SIG, OpenSslFree>;
using FileHandle = std::unique_ptr<std::FILE, OpenSslFree>;
