#pragma once

#include <string>

// One target of a commit: the staged file that replaces it, where its old file waits until
// the commit ends, and whether it is registered afterwards.
struct JournalEntry {
    std::wstring target;
    std::wstring staged;
    std::wstring aside;
    bool registerDll = false;
    // The SHA-256 of the staged file in lower-case hexadecimal (the signed one, or for an entry
    // that is registered its own): only these bytes are moved in and registered. Empty: none known.
    // (Initialised here, so that a list of the first four fields leaves it empty.)
    std::wstring sha256{};
    // The target's base folder (TargetPlace), ending with "\". Empty in a journal written before
    // entries carried it, whose targets all lie in the install folder.
    std::wstring base{};

    bool operator==(const JournalEntry&) const = default;
};
