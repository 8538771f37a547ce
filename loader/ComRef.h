#pragma once

#include <unknwn.h>

// Owns one reference to a COM interface and releases it at the end of its scope.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (m_pointer != nullptr) m_pointer->Release();
    }

    T* operator->() const { return m_pointer; }
    T* Get() const { return m_pointer; }
    // For creation functions that fill an interface pointer; only on an empty ComRef.
    void** OutPointer() { return reinterpret_cast<void**>(&m_pointer); }
    T** Out() { return &m_pointer; }

private:
    T* m_pointer = nullptr;
};
