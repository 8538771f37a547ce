#pragma once

#include <windows.h>

namespace bcl::system::sync {

// Owns one waitable kernel object handle; INVALID_HANDLE_VALUE means "none".
class CSyncObject {
public:
    CSyncObject() = default;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;
    virtual ~CSyncObject();

    // Closes the handle if one is held; a second call does nothing.
    void Close();

protected:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

}  // namespace bcl::system::sync
