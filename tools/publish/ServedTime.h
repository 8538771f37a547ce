#pragma once

#include <filesystem>

// Web servers derive a file's validators from its modification time, to the second, and its
// size (nginx's ETag is the two in hex, If-Modified-Since compares seconds). Two manifests of
// one size written within one second would look the same to them, and a client holding the
// first would be told that the second is not modified.
namespace ServedTime {

// The time to give a file written at `written` that replaces one of time `previous`: a later
// second than the previous file's, and never earlier than its own.
std::filesystem::file_time_type After(std::filesystem::file_time_type written,
                                      std::filesystem::file_time_type previous);

// Gives `written` a time from After unless it holds the same bytes as `previous` (then the
// same time, so clients holding it are rightly told it is not modified). Does nothing when
// there is no previous file.
void FollowPrevious(const std::filesystem::path& written, const std::filesystem::path& previous);

}  // namespace ServedTime
