#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "update/JournalEntry.h"

// The places a commit journal may name. Recovery moves and registers what the journal says, so
// it is judged as the staging was made: targets inside the install folder, staged files inside
// the run's own folder, and nothing else, whatever the file holds.
namespace JournalPathRule {

struct JournalFolders {
    std::wstring install;  // ends with "\"
    std::wstring work;     // the run's folder (UpdateWorkPaths::WorkFolder), ends with "\"
};

// The folders of the journal at journalPath, which must be UpdateWorkPaths::JournalFile of the
// work folder of a local install folder ("X:\..."); nothing for any other path.
std::optional<JournalFolders> FoldersOf(std::wstring_view journalPath);

// True when path is folder (ending with "\") followed by plain names
// (EntryPathRule::IsPlainFileName) joined by "\": the text then is the place itself, with no
// "." or ".." part, "/", doubled separator, device name or stream.
bool IsNamedBelow(std::wstring_view folder, std::wstring_view path);

// Why the entry names a place outside its commit; nothing when it names none. The old file's
// place is the target's own (UpdateWorkPaths::AsidePath) below the target's base folder (the
// install folder for an entry without one), and the staged file lies in the run's staging
// folder. Where the target itself may lie is TargetPlace's to judge.
std::optional<std::wstring> Refusal(const JournalEntry& entry, const JournalFolders& folders);

}  // namespace JournalPathRule
