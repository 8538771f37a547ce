#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// Lays a dialog and its controls out from its template's own font as if the screen had a
// chosen resolution, whatever the real one: the window keeps its template size in pixels on a
// screen of another resolution.
class DialogFontLayout {
public:
    DialogFontLayout() = default;
    ~DialogFontLayout() { Detach(); }
    DialogFontLayout(const DialogFontLayout&) = delete;
    DialogFontLayout& operator=(const DialogFontLayout&) = delete;

    // Gives the window and the template's controls a font made for pixelsPerInch and sizes and
    // places them from the template. A template that cannot be read leaves the window as it is.
    void Attach(HINSTANCE instance, HWND window, uint32_t templateId, double pixelsPerInch);
    // Hands the earlier font back to the window and its controls (when the window still
    // exists) and deletes the font made by Attach. Positions are not restored.
    void Detach();

private:
    std::vector<HWND> FindControls() const;

    uint32_t m_templateId = 0;
    HINSTANCE m_instance = nullptr;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;          // owned
    HFONT m_previousFont = nullptr;  // not owned
    std::vector<uint32_t> m_controlIds;
};
