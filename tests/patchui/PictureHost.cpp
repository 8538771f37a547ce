#include "patchui/PictureHost.h"

#include <cstring>

PictureHost::PictureHost() {
    m_window = CreateWindowExW(WS_EX_TOPMOST, L"Static", L"", WS_POPUP, 40, 40, 120, 120, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_BLACKFRAME, 0, 0, 30, 20,
                    m_window, reinterpret_cast<HMENU>(201), GetModuleHandleW(nullptr), nullptr);
    // Not activated: under Wine without a window manager, hiding an active window waits for
    // the X server in vain.
    ShowWindow(m_window, SW_SHOWNOACTIVATE);
    Pump();
}

PictureHost::~PictureHost() {
    DestroyWindow(m_window);
    Pump();
}

void PictureHost::Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

GlobalBlock::GlobalBlock(const std::vector<uint8_t>& data)
    : m_block(GlobalAlloc(GMEM_MOVEABLE, data.size())), m_size(static_cast<DWORD>(data.size())) {
    std::memcpy(GlobalLock(m_block), data.data(), data.size());
    GlobalUnlock(m_block);
}
