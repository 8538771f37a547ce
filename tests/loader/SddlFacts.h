#pragma once

#include <string_view>

#include "framework/FolderTrustRule.h"

// The facts of a descriptor written in the platform's SDDL, read without the platform, for rule
// tables on every build: the owner and the access entries (allowing or denying, inherited or
// not, SIDs as text or two-letter names, rights as letters or a number). An unreadable part
// throws std::invalid_argument.
FolderTrustRule::FolderFacts SddlFacts(std::wstring_view sddl);
