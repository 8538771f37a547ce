#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/publish/CScratchFolder.h"
#include "tools/publish/DeltaEncoder.h"
#include "tools/publish/DeltaObjects.h"
#include "verify/HexText.h"

// Makes the deltas of a release from earlier published trees: each tree is checked first as
// the clients would (signed by one of the keys), then each changed file gets a delta from
// every distinct earlier version of it.
class CDeltaBuilder {
public:
    // Throws CPublishError when a tree is not a signed update tree.
    CDeltaBuilder(const std::vector<std::filesystem::path>& trees,
                  const std::vector<PublicKey>& keys, DeltaLimits limits = {});

    // The deltas of one entry, written into objects below tree; those larger than half of
    // packageSize are dropped, and a file past the limits gets none and a warning.
    std::vector<DeltaObjects::Key> Make(const std::string& name,
                                        const std::filesystem::path& source,
                                        const std::string& sha256, uint64_t packageSize,
                                        const std::filesystem::path& tree,
                                        std::vector<std::string>& warnings);

private:
    struct Base {
        std::filesystem::path tree;
        std::string sha256;
    };

    std::multimap<std::string, Base> bases;  // by entry name, each SHA-256 once
    DeltaLimits limits;
    CScratchFolder scratch;
};
