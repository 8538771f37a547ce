#pragma once

#include <string>

// One target of a commit: the staged file that replaces it, where its old file waits until
// the commit ends, and whether it is registered afterwards.
struct JournalEntry {
    std::wstring target;
    std::wstring staged;
    std::wstring aside;
    bool registerDll = false;

    bool operator==(const JournalEntry&) const = default;
};
