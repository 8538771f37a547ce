#pragma once

#include <filesystem>

#include "tools/publish/OpenSslHandles.h"
#include "verify/HexText.h"

// The publisher's ECDSA P-256 private key (libcrypto), kept as PEM.
class CSigningKey {
public:
    // Makes a new key pair: the private key as PEM in a new file of mode 0600, the public key
    // as one line of 128 hexadecimal digits (x then y) for the component's build. Neither file
    // may exist yet. Throws CPublishError.
    static void Generate(const std::filesystem::path& privateFile,
                         const std::filesystem::path& publicFile);
    // Throws CPublishError unless the file holds a P-256 private key.
    static CSigningKey Load(const std::filesystem::path& privateFile);

    // The signature of digest as r then s.
    RawSignature Sign(const Sha256Digest& digest) const;
    PublicKey Public() const;

private:
    explicit CSigningKey(PkeyHandle key) : key(std::move(key)) {}

    PkeyHandle key;
};
