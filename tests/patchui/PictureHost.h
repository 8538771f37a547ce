#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <vector>

#include "support/common/ProcessThreads.h"

// A visible top-level window holding one static control 201, as the patch dialog does, for
// a picture control to be bound to. Destroyed with the object.
class PictureHost {
public:
    PictureHost();
    ~PictureHost();
    PictureHost(const PictureHost&) = delete;
    PictureHost& operator=(const PictureHost&) = delete;

    HWND Window() const { return m_window; }
    HWND Control() const { return GetDlgItem(m_window, 201); }
    // Handles the window messages waiting for this thread.
    static void Pump();

private:
    HWND m_window;
};

// Data in a global memory block, as CPictureEx::Load takes it; freed with the object.
class GlobalBlock {
public:
    explicit GlobalBlock(const std::vector<uint8_t>& data);
    ~GlobalBlock() { GlobalFree(m_block); }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    HGLOBAL Handle() const { return m_block; }
    DWORD Size() const { return m_size; }

private:
    HGLOBAL m_block;
    DWORD m_size;
};

// The threads of this process now, and their number.
inline size_t ThreadCount() { return testsupport::ProcessThreads().size(); }
