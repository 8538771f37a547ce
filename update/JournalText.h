#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/JournalEntry.h"

// The commit journal as text: a header line, one line per target (fields apart by tabs, which
// no path holds), and an end line, so that a journal cut short is never taken for a whole one.
namespace JournalText {

std::wstring Format(const std::vector<JournalEntry>& entries);
// Nothing when the header, a line or the end line is missing or malformed. A journal of the
// first form, written before entries carried their file's SHA-256, reads with none; one of the
// first two forms, written before entries carried their base folder, with none.
std::optional<std::vector<JournalEntry>> Parse(const std::wstring& text);

}  // namespace JournalText
