#pragma once

#include <filesystem>

// Puts a complete new tree where the old one was, so that a web server serving the output
// folder answers every request from the old tree or from the new one, never from a mix.
namespace TreeSwap {

// staged must be a sibling of output (same file system). With an existing output the two
// folders trade places in one step (renameat2 with RENAME_EXCHANGE) and staged then holds
// the old tree; without one staged is renamed to output. Throws CPublishError.
void Replace(const std::filesystem::path& staged, const std::filesystem::path& output);

}  // namespace TreeSwap
