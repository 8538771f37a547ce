#include "patchui/OffscreenSurface.h"

std::unique_ptr<OffscreenSurface> OffscreenSurface::Create(HDC reference, int cx, int cy) {
    const HDC dc = CreateCompatibleDC(reference);
    if (dc == nullptr) return nullptr;
    const HBITMAP bitmap = CreateCompatibleBitmap(reference, cx, cy);
    const HGDIOBJ previous = bitmap != nullptr ? SelectObject(dc, bitmap) : nullptr;
    if (previous == nullptr || previous == HGDI_ERROR) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        DeleteDC(dc);
        return nullptr;
    }
    return std::unique_ptr<OffscreenSurface>(new OffscreenSurface(dc, bitmap, previous));
}

OffscreenSurface::~OffscreenSurface() {
    SelectObject(m_dc, m_previous);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
}
