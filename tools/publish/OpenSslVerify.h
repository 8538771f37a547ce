#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "verify/HexText.h"

// What the publisher checks with libcrypto, as the component does with CNG.
namespace OpenSslVerify {

Sha256Digest Sha256(std::string_view bytes);
// Reads the file once; throws CPublishError when it cannot.
Sha256Digest Sha256OfFile(const std::filesystem::path& file);
bool SignatureValid(const PublicKey& key, const Sha256Digest& digest,
                    const RawSignature& signature);
// One or two keys as pelko-publish keygen writes them; throws CPublishError otherwise.
std::vector<PublicKey> LoadPublicKeys(const std::filesystem::path& file);

}  // namespace OpenSslVerify
