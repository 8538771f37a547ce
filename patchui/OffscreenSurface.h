#pragma once

#include <windows.h>

#include <memory>

// A memory device context with a bitmap of its own selected into it. The earlier bitmap is
// selected back before the context and the bitmap are deleted.
class OffscreenSurface {
public:
    // A surface compatible with `reference` (a window's context) of cx x cy pixels; null when
    // any part of it cannot be made (nothing is left behind then).
    static std::unique_ptr<OffscreenSurface> Create(HDC reference, int cx, int cy);
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    HDC Dc() const { return m_dc; }

private:
    OffscreenSurface(HDC dc, HBITMAP bitmap, HGDIOBJ previous)
        : m_dc(dc), m_bitmap(bitmap), m_previous(previous) {}

    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_previous;
};
