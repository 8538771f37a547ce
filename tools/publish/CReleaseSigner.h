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
    // With rolloutDays, each release is rolled out in stages over that many days.
    CReleaseSigner(CSigningKey key, std::string product, int expiresDays,
                   std::optional<uint32_t> rolloutDays = std::nullopt)
        : key(std::move(key)),
          product(std::move(product)),
          expiresDays(expiresDays),
          rolloutDays(rolloutDays) {}

    // The statement's text for manifest, built at now (seconds since 1970, UTC) after a tree
    // whose serial was previous (0: none). A rollout starts now, unless the last tree held the
    // same manifest (sameContent): then its rollout's start and cap stay.
    std::string Statement(const std::string& manifest, uint64_t previous, int64_t now,
                          const std::optional<ReleaseRollout>& sameContent = std::nullopt) const;
    PublicKey Public() const { return key.Public(); }
    const std::string& Product() const { return product; }

    // The whole text of statement, signed by key.
    static std::string Signed(const CSigningKey& key, const ReleaseStatement& statement);

    // Above previous and at least now: a tree built anew, without the last one, still
    // outgrows what the clients accepted before, as long as the clock goes forward.
    static uint64_t NextSerial(uint64_t previous, int64_t now);

private:
    CSigningKey key;
    std::string product;
    int expiresDays;
    std::optional<uint32_t> rolloutDays;
};
