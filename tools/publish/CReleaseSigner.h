#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/publish/CSigningKey.h"
#include "verify/ReleaseStatement.h"

// Signs a release: the statement naming its product, the manifest's exact bytes, a serial that
// grows from one build of a tree to the next, and its expiry.
class CReleaseSigner {
public:
    CReleaseSigner(CSigningKey key, std::string product, int expiresDays)
        : key(std::move(key)), product(std::move(product)), expiresDays(expiresDays) {}

    // The statement's text for manifest, built at now (seconds since 1970, UTC) after a tree
    // whose serial was previous (0: none).
    std::string Statement(const std::string& manifest, uint64_t previous, int64_t now) const;
    PublicKey Public() const { return key.Public(); }
    const std::string& Product() const { return product; }

    // Above previous and at least now: a tree built anew, without the last one, still
    // outgrows what the clients accepted before, as long as the clock goes forward.
    static uint64_t NextSerial(uint64_t previous, int64_t now);

private:
    CSigningKey key;
    std::string product;
    int expiresDays;
};
