#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "update/ContentRule.h"

// The install record as text: a header line, one line per installed file (its SHA-256, its
// size and its path, apart by tabs, which no path holds), and an end line, so that a record
// cut short is never taken for a whole one.
namespace InstallRecordText {

using Entry = std::pair<std::wstring, ContentRule::Content>;  // the file's path, its content

std::wstring Format(const std::vector<Entry>& entries);
// Nothing when the header, a line or the end line is missing or malformed: a damaged record
// is no record.
std::optional<std::vector<Entry>> Parse(const std::wstring& text);

}  // namespace InstallRecordText
