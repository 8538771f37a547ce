#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "verify/HexText.h"

// Checks an update tree the way the clients will read it: every package is opened and its
// entry 0 extracted with the component's own ZIP reader (which checks the CRC), and the
// manifest and the packages must agree on names, sizes and dates.
class CTreeVerifier {
public:
    static constexpr const char* manifestName = "RudovuZado.ini";
    static constexpr const char* packageFolder = "RudovuZado";
    // Packages by their own digest: "objects/<SHA-256 hex>.zip".
    static constexpr const char* objectFolder = "objects";

    // The number of packages checked; throws CPublishError for the first disagreement. With
    // keys the tree must also be signed by one of them as the component with those keys
    // checks it: the statement, the manifest's bytes, and each package's single entry, its
    // size and its Sha256. A section's Object must name a file of objects/ holding the very
    // bytes of its package, and every file there must be named by its own SHA-256.
    static size_t Verify(const std::filesystem::path& tree,
                         const std::vector<PublicKey>& keys = {});
};
