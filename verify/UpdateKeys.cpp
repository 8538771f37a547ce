#include "verify/UpdateKeys.h"

#include "verify/UpdateKeyList.h"

std::vector<PublicKey> BuiltInUpdateKeys() {
    // The build checked the list when it was configured.
    const auto keys = ReleaseRules::ParseKeyList(UpdateKeyList::kKeys);
    return keys ? *keys : std::vector<PublicKey>();
}

ReleaseRules::Acceptance BuiltInAcceptance() {
    return {UpdateKeyList::kProduct, UpdateKeyList::kRelaxedReleaseRules,
            !UpdateKeyList::kRelaxedReleaseRules};
}
