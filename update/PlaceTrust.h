#pragma once

#include <optional>
#include <string>

// Whether a target's place may receive what a commit writes and registers: its base folder (as
// a drive root when it is one) and every existing folder from it down to the target's, judged
// by FolderTrustRule, so that nobody but this user and the machine's authorities may change it.
namespace PlaceTrust {

// Why the target's place is not trusted; nothing when it is. Folders that do not exist yet are
// made by the commit below a judged one.
std::optional<std::wstring> Refusal(const std::wstring& base, const std::wstring& target);

}  // namespace PlaceTrust
