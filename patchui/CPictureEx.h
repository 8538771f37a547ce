#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "patchui/GifFrame.h"
#include "patchui/OffscreenSurface.h"
#include "framework/win32/UniqueHandle.h"

class GifStream;

// A picture control over the platform's static control: shows a still picture, or plays an
// animated GIF on a thread of its own. GIF frames are cut into stand-alone GIFs and decoded
// by the platform's picture loader at load time; the thread renders them into an off-screen
// surface that the paint handler copies to the window.
class CPictureEx {
public:
    CPictureEx();
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Binds this object to control `id` of a dialog by subclassing its window.
    BOOL SubclassDlgItem(UINT id, HWND parent);
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Loads a resource of this component's module.
    BOOL Load(LPCWSTR resourceName, LPCWSTR resourceType);
    // Loads a GIF (still or animated) or any still picture the platform reads. The block stays
    // the caller's; nothing of it is kept.
    BOOL Load(HGLOBAL block, DWORD size);
    // TRUE when a still picture was drawn; FALSE otherwise, also when the animation started.
    BOOL Draw(int delayFactor);
    // Ends the animation; the surface keeps the frame last drawn.
    void Stop();
    void Unload();

    SIZE GetSize() const { return m_sizePicture; }
    size_t FrameCount() const { return m_frames.size(); }
    bool IsAnimating() const { return m_hAnimThread != nullptr; }

protected:
    // The rest between two frames: `ms` milliseconds, or less when Stop wakes the thread.
    virtual void WaitForNextFrame(DWORD ms);
    // The off-screen surface (null without one), for those who watch the picture play.
    HDC SurfaceDC() const { return m_surface ? m_surface->Dc() : nullptr; }
    COLORREF FillColor() const { return m_clrFill; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
    static unsigned __stdcall AnimationThread(void* self);

    void OnPaint();
    void OnDestroy();
    BOOL LoadGif(HGLOBAL block, DWORD size, GifStream& gif);
    void CutFrames(GifStream& gif);
    BOOL CreateSurface(int cx, int cy);
    void Animate();
    bool Render(IPicture* picture, int x, int y, int cx, int cy);
    void Fill(const RECT& area, COLORREF color);
    bool StopRequested() const { return m_bStopRequested.load(); }

    SIZE m_sizePicture{0, 0};
    COLORREF m_clrFill = kWhite;
    bool m_bAnimatedSource = false;
    std::atomic<bool> m_bStopRequested{false};
    std::unique_ptr<OffscreenSurface> m_surface;
    HANDLE m_hAnimThread = nullptr;  // closed by Stop alone
    UniqueHandle m_hWakeEvent;
    PicturePtr m_pStillPicture;
    std::vector<GifFrame> m_frames;
    std::atomic<int> m_nDelayFactor{1};
    HWND m_hWnd = nullptr;

    static constexpr COLORREF kWhite = 0x00FFFFFF;
};
