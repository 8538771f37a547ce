#pragma once

#include <cstddef>

// Base of the exceptions that are thrown by pointer (file and archive errors). Whoever catches
// one owns it and ends it with Delete().
class CException {
public:
    CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
    virtual ~CException() = default;

    // Copies the error text into buffer (at most size - 1 characters and a NUL). False, and
    // nothing copied, when there is no buffer, no room or no text.
    virtual bool GetErrorMessage(wchar_t* buffer, size_t size) const;

    void Delete() { delete this; }

protected:
    static bool CopyMessage(const wchar_t* text, size_t length, wchar_t* buffer, size_t size);
};
