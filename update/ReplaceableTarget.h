#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/JournalEntry.h"

// Whether the commit could set the target's old file aside now: the file opened for the
// access a rename needs, sharing everything. A program that holds it without delete sharing
// refuses that open. A target that is not there is replaceable.
bool IsReplaceableTarget(const std::wstring& target);

// The first target of the list that cannot be replaced now, if any.
std::optional<std::wstring> FirstBusyTarget(const std::vector<JournalEntry>& entries);
