#pragma once

#include <cstddef>
#include <filesystem>

// Checks an update tree the way the clients will read it: every package is opened and its
// entry 0 extracted with the component's own ZIP reader (which checks the CRC), and the
// manifest and the packages must agree on names, sizes and dates.
class CTreeVerifier {
public:
    static constexpr const char* manifestName = "RudovuZado.ini";
    static constexpr const char* packageFolder = "RudovuZado";

    // The number of packages checked; throws CPublishError for the first disagreement.
    static size_t Verify(const std::filesystem::path& tree);
};
