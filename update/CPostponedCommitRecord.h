#pragma once

#include <string>

// The file that counts the launches in a row whose commit a busy target postponed
// (PostponedCommitRule); a file that cannot be read counts as none.
class CPostponedCommitRecord {
public:
    explicit CPostponedCommitRecord(std::wstring path) : path(std::move(path)) {}

    // One more launch postponed the commit today; true when the user is to be told now.
    bool CountLaunch() const;
    // The commit ran: the count starts again.
    void Clear() const;

private:
    std::wstring path;
};
