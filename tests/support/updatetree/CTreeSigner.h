#pragma once

#include <windows.h>
// CNG's header needs the platform's base types first.
#include <bcrypt.h>

#include <string>

#include "verify/HexText.h"

namespace updatetree {

// An ECDSA P-256 private key in CNG that signs release statements for test trees: the
// committed test key (keys/test-only), which the test builds take as their update key, or a
// new key that no build knows.
class CTreeSigner {
public:
    static CTreeSigner TestKey();
    static CTreeSigner NewKey();
    ~CTreeSigner();
    CTreeSigner(CTreeSigner&& other) noexcept;
    CTreeSigner(const CTreeSigner&) = delete;
    CTreeSigner& operator=(const CTreeSigner&) = delete;
    CTreeSigner& operator=(CTreeSigner&&) = delete;

    RawSignature Sign(const Sha256Digest& digest) const;
    PublicKey Public() const;

private:
    CTreeSigner();

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
};

}  // namespace updatetree
