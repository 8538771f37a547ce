#pragma once

#include <deque>
#include <mutex>
#include <string>

// The engine's last error: a text and a code, set from any of its threads. A text once handed
// out stays valid for the life of this object, whatever is set after it: a run sets only a few.
class CLastError {
public:
    void Set(std::wstring text, unsigned code);
    // Keeps the code.
    void SetText(std::wstring text);
    const wchar_t* Text() const;
    unsigned Code() const;

private:
    mutable std::mutex lock;
    std::deque<std::wstring> texts{std::wstring()};
    unsigned code = 0;
};
