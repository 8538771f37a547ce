#pragma once

#include <functional>
#include <string>
#include <vector>

#include "update/CCommitJournal.h"
#include "update/JournalEntry.h"

// Puts a set of staged files in place of their targets as one step that a crash cannot cut
// in half: the journal first, then per target the old file renamed aside and the staged file
// renamed in, then the registrations, then the journal removed and the old files deleted.
// The install record is kept in step: it forgets the targets before the journal is
// written and learns their new content before the journal is removed. Every step can be repeated, so an unfinished journal is completed at the next start; a
// target that cannot be replaced puts every old file back instead. The journal is the file
// UpdateWorkPaths::JournalFile of an install folder's work folder: recovery acts on it only
// when every path it names lies where the commit puts files (JournalPathRule), and registers a
// target only when it holds the very bytes its commit staged.
class CInstallCommit {
public:
    // Called after each target is in place, with its position in the list.
    using FileDone = std::function<void(size_t index)>;

    explicit CInstallCommit(std::wstring journalPath) : journal(std::move(journalPath)) {}

    // False when nothing was replaced (a target TargetPlace refuses, a place others may change
    // (PlaceTrust), journal not written, or rolled back); the text says why. A target is
    // registered only while its place is trusted. Each entry to be registered is journaled with the
    // SHA-256 it carries (the signed one), else that of its staged file, computed here.
    bool Run(const std::vector<JournalEntry>& entries, const FileDone& fileDone);
    // Completes (or rolls back) the commit an unfinished journal describes; true when there
    // was none, or it has been dealt with and removed. A journal that names any other place is
    // removed with a line on the debug output, and nothing is moved or registered: the caller
    // discards the staged files as always. A journal that cannot be read is left as it is
    // (false, Unreadable): the caller changes nothing.
    bool Recover();
    bool Unreadable() const { return unreadable; }
    const std::wstring& ErrorText() const { return errorText; }

private:
    bool Complete(const std::vector<JournalEntry>& entries, const FileDone& fileDone);
    bool PlaceFile(const JournalEntry& entry);
    void Register(const JournalEntry& entry);
    void RollBack(const std::vector<JournalEntry>& entries);
    void Finish(const std::vector<JournalEntry>& entries);
    // The install record (CInstallRecord) beside the journal: it forgets the targets before
    // the commit moves anything (false when it could neither be written nor removed) and
    // learns what they hold once they are in place.
    std::wstring RecordPath() const;
    bool ForgetTargets(const std::vector<JournalEntry>& entries) const;
    void LearnTargets(const std::vector<JournalEntry>& entries) const;
    void Step();

    CCommitJournal journal;
    std::wstring errorText;
    unsigned step = 0;
    bool unreadable = false;
};
