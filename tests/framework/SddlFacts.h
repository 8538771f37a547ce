#pragma once

#include <optional>
#include <string>

#include "framework/FolderTrustRule.h"

// The facts of a descriptor written in SDDL, read without the platform: the owner, the access
// list's allowing and denying entries with their flags, rights as hex or letters, SIDs as text
// or their two-letter names. Nothing for text it does not read.
std::optional<FolderTrustRule::FolderFacts> SddlFacts(const std::wstring& sddl);
