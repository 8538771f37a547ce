#pragma once

#include <vector>

#include "verify/HexText.h"

// The public keys this build verifies releases with (PELKO_UPDATE_KEYS); none when the build
// was made to take unsigned updates.
std::vector<PublicKey> BuiltInUpdateKeys();
