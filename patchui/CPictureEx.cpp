#include "patchui/CPictureEx.h"

#include <commctrl.h>
#include <process.h>

#include <cstring>
#include <optional>
#include <string>

#include "framework/win32/CodeModule.h"
#include "framework/win32/DebugOutput.h"
#include "patchui/GifFrameTiming.h"
#include "patchui/GifStream.h"
#include "support/bcl/common/exception/CaughtException.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x50494358;  // "PICX"
constexpr DWORD kStopWaitMs = 5000;
constexpr int kHimetricPerInch = 2540;

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, ComRelease>;

// The block's bytes while it is locked.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : m_block(block), m_data(GlobalLock(block)) {}
    ~LockedBlock() { Unlock(); }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    const uint8_t* Data() const { return static_cast<const uint8_t*>(m_data); }
    void Unlock() {
        if (m_data != nullptr) GlobalUnlock(m_block);
        m_data = nullptr;
    }

private:
    HGLOBAL m_block;
    void* m_data;
};

// The platform's picture loader over a stream on the block; the stream frees the block when
// it owns it.
PicturePtr LoadPicture(HGLOBAL block, DWORD size, bool streamOwnsBlock) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, streamOwnsBlock ? TRUE : FALSE, &stream))) {
        if (streamOwnsBlock) GlobalFree(block);
        return nullptr;
    }
    const StreamPtr owned(stream);
    IPicture* picture = nullptr;
    if (FAILED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(&picture))))
        return nullptr;
    return PicturePtr(picture);
}

SIZE HimetricSize(IPicture* picture) {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    return {width, height};
}

LONG HimetricToPixels(LONG himetric, int pixelsPerInch) {
    const int64_t scaled = int64_t{himetric} * pixelsPerInch;
    return static_cast<LONG>((scaled + kHimetricPerInch / 2) / kHimetricPerInch);
}

// A copy of the surface under a frame of disposal 3, put back after the frame's time.
class SavedArea {
public:
    SavedArea(HDC surface, const RECT& area) : m_surface(surface), m_area(area) {
        m_dc = CreateCompatibleDC(surface);
        m_bitmap = CreateCompatibleBitmap(surface, Width(), Height());
        if (m_dc == nullptr || m_bitmap == nullptr) return;
        m_previous = SelectObject(m_dc, m_bitmap);
        BitBlt(m_dc, 0, 0, Width(), Height(), surface, area.left, area.top, SRCCOPY);
    }
    ~SavedArea() {
        if (m_previous != nullptr) SelectObject(m_dc, m_previous);
        if (m_bitmap != nullptr) DeleteObject(m_bitmap);
        if (m_dc != nullptr) DeleteDC(m_dc);
    }
    SavedArea(const SavedArea&) = delete;
    SavedArea& operator=(const SavedArea&) = delete;

    void Restore() const {
        if (m_previous != nullptr)
            BitBlt(m_surface, m_area.left, m_area.top, Width(), Height(), m_dc, 0, 0, SRCCOPY);
    }

private:
    int Width() const { return m_area.right - m_area.left; }
    int Height() const { return m_area.bottom - m_area.top; }

    HDC m_surface;
    RECT m_area;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
};

RECT FrameArea(const GifFrame& frame) {
    return {static_cast<LONG>(frame.left), static_cast<LONG>(frame.top),
            static_cast<LONG>(frame.left + frame.width),
            static_cast<LONG>(frame.top + frame.height)};
}

}  // namespace

CPictureEx::CPictureEx() : m_hWakeEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CPictureEx::~CPictureEx() {
    Unload();
    if (m_hWnd != nullptr) RemoveWindowSubclass(m_hWnd, &CPictureEx::WindowProc, kSubclassId);
}

BOOL CPictureEx::SubclassDlgItem(UINT id, HWND parent) {
    const HWND control = GetDlgItem(parent, static_cast<int>(id));
    if (control == nullptr || !SetWindowSubclass(control, &CPictureEx::WindowProc, kSubclassId,
                                                 reinterpret_cast<DWORD_PTR>(this)))
        return FALSE;
    m_hWnd = control;
    return TRUE;
}

BOOL CPictureEx::Load(LPCWSTR resourceName, LPCWSTR resourceType) {
    const HMODULE module = CodeModule::Handle();
    const HRSRC found = FindResourceW(module, resourceName, resourceType);
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
    if (data == nullptr || size == 0) return FALSE;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr) return FALSE;
    BOOL loadedPicture = FALSE;
    if (void* copy = GlobalLock(block)) {
        std::memcpy(copy, data, size);
        GlobalUnlock(block);
        loadedPicture = Load(block, size);
    }
    GlobalFree(block);
    return loadedPicture;
}

BOOL CPictureEx::Load(HGLOBAL block, DWORD size) {
    Unload();
    LockedBlock lock(block);
    if (lock.Data() == nullptr) return FALSE;
    GifStream gif({lock.Data(), size});
    if (gif.IsGif()) return LoadGif(block, size, gif);
    lock.Unlock();

    m_pStillPicture = LoadPicture(block, size, false);
    if (!m_pStillPicture) return FALSE;
    const SIZE himetric = HimetricSize(m_pStillPicture.get());
    const HDC screen = GetDC(nullptr);
    m_sizePicture = {HimetricToPixels(himetric.cx, GetDeviceCaps(screen, LOGPIXELSX)),
                     HimetricToPixels(himetric.cy, GetDeviceCaps(screen, LOGPIXELSY))};
    ReleaseDC(nullptr, screen);
    return CreateSurface(m_sizePicture.cx, m_sizePicture.cy);
}

// The block is locked while this runs; `gif` reads it.
BOOL CPictureEx::LoadGif(HGLOBAL block, DWORD size, GifStream& gif) {
    m_bAnimatedSource = true;
    if (!gif.HasScreen()) return FALSE;
    m_sizePicture = {static_cast<LONG>(gif.ScreenWidth()), static_cast<LONG>(gif.ScreenHeight())};
    const size_t images = gif.CountImages();
    if (images == 0) return FALSE;
    if (images == 1) {
        m_pStillPicture = LoadPicture(block, size, false);
        if (!m_pStillPicture) return FALSE;
    } else {
        CutFrames(gif);
        if (m_frames.empty()) return FALSE;
    }
    return CreateSurface(m_sizePicture.cx, m_sizePicture.cy);
}

// A frame that cannot be had or decoded is left out.
void CPictureEx::CutFrames(GifStream& gif) {
    gif.Rewind();
    while (const std::optional<GifFrameCut> cut = gif.CutNextFrame()) {
        const size_t bytes = gif.StandaloneSize(*cut);
        const HGLOBAL frameBlock = GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (frameBlock == nullptr) break;
        void* target = GlobalLock(frameBlock);
        if (target == nullptr) {
            GlobalFree(frameBlock);
            break;
        }
        gif.CopyStandalone(*cut, static_cast<uint8_t*>(target));
        GlobalUnlock(frameBlock);
        PicturePtr picture = LoadPicture(frameBlock, static_cast<DWORD>(bytes), true);
        if (!picture) continue;
        m_frames.push_back(GifFrame{std::move(picture), cut->width, cut->height, cut->left,
                                    cut->top, cut->delay, cut->disposal});
    }
}

BOOL CPictureEx::CreateSurface(int cx, int cy) {
    if (m_hWnd == nullptr) return FALSE;
    SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const HDC window = GetDC(m_hWnd);
    if (window == nullptr) return FALSE;
    m_surface = OffscreenSurface::Create(window, cx, cy);
    ReleaseDC(m_hWnd, window);
    if (!m_surface) return FALSE;
    m_clrFill = GetSysColor(COLOR_BTNFACE);
    const RECT whole{0, 0, cx, cy};
    FillRect(m_surface->Dc(), &whole, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    return TRUE;
}

BOOL CPictureEx::Draw(int delayFactor) {
    m_nDelayFactor = delayFactor;
    if (!m_surface) return FALSE;
    if (m_bAnimatedSource && m_frames.size() > 1) {
        // A second Draw restarts the animation instead of running two threads over it.
        Stop();
        const uintptr_t thread = _beginthreadex(nullptr, 0, &CPictureEx::AnimationThread, this,
                                                CREATE_SUSPENDED, nullptr);
        if (thread == 0) return FALSE;
        m_hAnimThread = reinterpret_cast<HANDLE>(thread);
        ResumeThread(m_hAnimThread);
        return FALSE;
    }
    if (!m_pStillPicture) return FALSE;
    if (!Render(m_pStillPicture.get(), 0, 0, m_sizePicture.cx, m_sizePicture.cy)) return FALSE;
    InvalidateRect(m_hWnd, nullptr, FALSE);
    return TRUE;
}

void CPictureEx::Stop() {
    m_bStopRequested = true;
    SetEvent(m_hWakeEvent.get());
    if (m_hAnimThread != nullptr) {
        // The thread ends within one render; should it not, the surface and frames it reads
        // must still outlive it.
        if (WaitForSingleObject(m_hAnimThread, kStopWaitMs) == WAIT_TIMEOUT) {
            DebugOutput::DebugLine(L"CPictureEx::Stop, the animation thread is late to end\n");
            WaitForSingleObject(m_hAnimThread, INFINITE);
        }
        CloseHandle(m_hAnimThread);
        m_hAnimThread = nullptr;
    }
    ResetEvent(m_hWakeEvent.get());
    m_bStopRequested = false;
}

void CPictureEx::Unload() {
    Stop();
    m_pStillPicture.reset();
    m_frames.clear();
    m_surface.reset();
    m_bAnimatedSource = false;
    m_clrFill = kWhite;
}

void CPictureEx::WaitForNextFrame(DWORD ms) { WaitForSingleObject(m_hWakeEvent.get(), ms); }

unsigned __stdcall CPictureEx::AnimationThread(void* self) {
    try {
        static_cast<CPictureEx*>(self)->Animate();
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"CPictureEx::AnimationThread");
    }
    return 0;
}

void CPictureEx::Animate() {
    if (StopRequested()) return;
    for (;;) {
        for (const GifFrame& frame : m_frames) {
            const RECT area = FrameArea(frame);
            std::optional<SavedArea> saved;
            if (frame.disposal == 3) saved.emplace(m_surface->Dc(), area);
            if (Render(frame.picture.get(), area.left, area.top, static_cast<int>(frame.width),
                       static_cast<int>(frame.height)))
                InvalidateRect(m_hWnd, nullptr, FALSE);
            if (StopRequested()) return;
            WaitForNextFrame(GifFrameWaitMs(frame.delay, m_nDelayFactor));
            if (StopRequested()) return;
            if (frame.disposal == 2)
                Fill(area, m_clrFill);
            else if (saved)
                saved->Restore();
        }
        Fill({0, 0, m_sizePicture.cx, m_sizePicture.cy}, m_clrFill);
        if (StopRequested()) return;
    }
}

// The whole picture mapped upright: HIMETRIC pictures count their rows from the bottom.
bool CPictureEx::Render(IPicture* picture, int x, int y, int cx, int cy) {
    const SIZE himetric = HimetricSize(picture);
    return SUCCEEDED(picture->Render(m_surface->Dc(), x, y, cx, cy, 0, himetric.cy, himetric.cx,
                                     -himetric.cy, nullptr));
}

void CPictureEx::Fill(const RECT& area, COLORREF color) {
    const HDC dc = m_surface->Dc();
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

void CPictureEx::OnPaint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(m_hWnd, &paint);
    if (m_surface)
        BitBlt(dc, 0, 0, m_sizePicture.cx, m_sizePicture.cy, m_surface->Dc(), 0, 0, SRCCOPY);
    EndPaint(m_hWnd, &paint);
}

void CPictureEx::OnDestroy() { Stop(); }

LRESULT CALLBACK CPictureEx::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    CPictureEx& picture = *reinterpret_cast<CPictureEx*>(self);
    switch (message) {
        case WM_PAINT:
            picture.OnPaint();
            return 0;
        case WM_DESTROY:
            picture.OnDestroy();
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, &CPictureEx::WindowProc, kSubclassId);
            picture.m_hWnd = nullptr;
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
