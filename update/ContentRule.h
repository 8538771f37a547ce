#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Whether an installed file that a signed release checks (CheckDate=1) must be fetched: judged
// by content, never by a clock. The release names each file's size and SHA-256; the install
// record holds what the component installed; a file the record does not know is hashed once.
namespace ContentRule {

// A file's size and SHA-256 (64 lower-case hexadecimal digits).
struct Content {
    uint64_t size = 0;
    std::wstring sha256;

    bool operator==(const Content&) const = default;
};

struct Facts {
    Content release;                    // what the signed manifest names
    std::optional<Content> recorded{};  // what the install record holds for the file
    std::optional<Content> present{};   // the file's own bytes; only hashed without a record
    std::optional<Content> before{};    // what the release accepted before named for the file
    bool olderByDate = false;           // the date rule's answer, for a file nothing else judges
};

enum class Verdict {
    Keep,
    Fetch,
    KeepAndRecord,  // the file is the release's: kept, and the record learns it
};

// The record decides alone: a file changed in place is kept until a release changes it.
// Without a record, a file equal to the release is the release's; one equal to the release
// accepted before was installed by the component and is out of date; any other is judged by
// the date rule, as an unsigned release judges it.
Verdict Judge(const Facts& facts);

// The content a signed entry names: its FileSize and Sha256 (any case); nothing when they do
// not form one (a negative size, a digest that is not 64 hexadecimal digits).
std::optional<Content> SignedContent(int fileSize, const std::wstring& sha256);

}  // namespace ContentRule
