#include "tools/publish/CReleaseSigner.h"

#include <algorithm>

#include "tools/publish/OpenSslVerify.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;

}  // namespace

uint64_t CReleaseSigner::NextSerial(uint64_t previous, int64_t now) {
    return std::max(previous + 1, static_cast<uint64_t>(std::max<int64_t>(now, 0)));
}

std::string CReleaseSigner::Signed(const CSigningKey& key, const ReleaseStatement& statement) {
    const std::string signedPart = SignedPart(statement);
    return StatementText(statement, key.Sign(OpenSslVerify::Sha256(signedPart)));
}

std::string CReleaseSigner::Statement(const std::string& manifest, uint64_t previous, int64_t now,
                                      const std::optional<ReleaseRollout>& sameContent) const {
    ReleaseStatement statement;
    statement.product = product;
    statement.manifestSize = manifest.size();
    statement.manifestDigest = OpenSslVerify::Sha256(manifest);
    statement.serial = NextSerial(previous, now);
    statement.expires = now + int64_t{expiresDays} * kSecondsPerDay;
    if (rolloutDays) {
        statement.rollout = ReleaseRollout{now, *rolloutDays, std::nullopt};
        if (sameContent) {
            statement.rollout->start = sameContent->start;
            statement.rollout->cap = sameContent->cap;
        }
    }
    return Signed(key, statement);
}
