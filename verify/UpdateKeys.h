#pragma once

#include <vector>

#include "verify/HexText.h"
#include "verify/ReleaseRules.h"

// The public keys this build verifies releases with (PELKO_UPDATE_KEYS); none when the build
// was made to take unsigned updates.
std::vector<PublicKey> BuiltInUpdateKeys();

// What this build accepts of a signed statement: its product (PELKO_PRODUCT); statements that
// name no product or never expire only in a build for the tests.
ReleaseRules::Acceptance BuiltInAcceptance();
