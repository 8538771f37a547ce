#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "verify/HexText.h"
#include "verify/ReleaseRules.h"

class CReleaseSerial;

// Accepts the manifest package at packagePath only when its statement (entry 1) is signed by
// one of keys, is what acceptance takes (its product, an expiry), is not older than the install
// folder's last release (serials; a record that exists but cannot be read refuses every
// release) nor expired at now (seconds since 1970, UTC), and entry 0 is the manifest it names,
// byte for byte. Then the manifest is in manifestPath and the release's serial is recorded.
// Otherwise manifestPath is deleted and the reason returned. Nothing is thrown.
// The statement taken is copied to accepted when given; with recordSerial false its serial is
// left for the caller to record once it takes the release.
std::optional<std::wstring> ExtractVerifiedManifest(const std::wstring& packagePath,
                                                    const std::wstring& manifestPath,
                                                    const std::vector<PublicKey>& keys,
                                                    const ReleaseRules::Acceptance& acceptance,
                                                    const CReleaseSerial& serials, int64_t now,
                                                    ReleaseStatement* accepted = nullptr,
                                                    bool recordSerial = true);

// Seconds since 1970, UTC, by the platform's clock.
int64_t SecondsNow();
