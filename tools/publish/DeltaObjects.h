#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A manifest entry's delta: "Delta1" .. "Delta5" = "<base sha256>:<delta size>:<delta sha256>",
// the delta itself in objects/<delta sha256>.pdelta.
namespace DeltaObjects {

constexpr const char* folder = "objects";
constexpr int mostPerEntry = 5;

struct Key {
    std::string baseSha256;
    uint64_t size = 0;
    std::string sha256;
};

std::string KeyName(int index);  // "Delta<index>", index from 1
std::string KeyText(const Key& key);
std::optional<Key> ParseKey(const std::string& text);
std::filesystem::path ObjectPath(const std::filesystem::path& tree, const std::string& sha256);

// Checks every delta the tree's manifest lists: its object is there with its size and SHA-256
// and names the entry's FileSize as its result; a delta whose base is found in one of
// baseTrees is applied and its result must carry the entry's Sha256. No .pdelta object may be
// left that no entry lists. Returns the number of deltas applied; throws CPublishError.
size_t Verify(const std::filesystem::path& tree,
              const std::vector<std::filesystem::path>& baseTrees);

}  // namespace DeltaObjects
