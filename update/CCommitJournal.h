#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/JournalEntry.h"

// The commit journal on disk, as UTF-16 text. It appears whole or not at all: written to a
// temporary file, flushed, then renamed into place.
class CCommitJournal {
public:
    explicit CCommitJournal(std::wstring path) : path(std::move(path)) {}

    bool Write(const std::vector<JournalEntry>& entries) const;
    // Nothing when there is no journal or it cannot be read whole.
    std::optional<std::vector<JournalEntry>> Read() const;
    bool Exists() const;
    bool Remove() const;
    const std::wstring& Path() const { return path; }

private:
    std::wstring path;
};
