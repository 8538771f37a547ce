#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a publish description may hold so that every client installs the file where the
// manifest says. Each check gives the reason of a refusal, or nothing.
namespace PublishRules {

// A section name is the file's name on the client and the last part of its package URL: a
// plain ASCII file name the platform keeps as it is, without characters a URL would read
// otherwise ("#", "%").
std::optional<std::string> NameProblem(std::string_view name);

// A folder below the base folder: relative, no drive, no ".." part, no empty part (one
// trailing separator allowed), no device name.
std::optional<std::string> TargetDirProblem(std::string_view targetDir);

// A Source key: relative to the release folder, without a ".." part ("\\" counts as "/").
std::optional<std::string> SourceProblem(std::string_view source);

// The clients install only entries of Type "Common", compared exactly: why an entry of
// another Type (or none) is installed by no client.
std::optional<std::string> TypeProblem(std::string_view type);

// Manifest values travel in the clients' code page, which the publisher does not know:
// printable ASCII only.
std::optional<std::string> ValueProblem(std::string_view value);

// A file this large would need Zip64 fields, which the clients' reader refuses. Allows for
// the worst growth of deflated data and the records around it.
bool FitsPlainArchive(uint64_t size, size_t nameLength);

std::optional<int> ParseFolderType(std::string_view text);
// What the clients read as true or false: 1/0, true/false, yes/no (any case).
std::optional<bool> ParseTruth(std::string_view text);

}  // namespace PublishRules
