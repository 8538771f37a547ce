#include "patchui/DialogFontLayout.h"

#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "patchui/DialogLayoutRules.h"
#include "patchui/DialogTemplate.h"

namespace {

std::optional<DialogTemplate> LoadTemplate(HINSTANCE instance, uint32_t templateId) {
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    const HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return std::nullopt;
    return ParseDialogTemplate(
        {static_cast<const uint8_t*>(data), SizeofResource(instance, found)});
}

HFONT CreateTemplateFont(const DialogTemplate& dialog, double pixelsPerInch) {
    // Without a font of its own a dialog gets the system's Korean default.
    int points = 9;
    int weight = FW_NORMAL;
    bool italic = false;
    std::wstring face = L"\uad74\ub9bc";  // 굴림
    if (dialog.hasFont) {
        points = std::abs(static_cast<int16_t>(dialog.pointSize));
        weight = dialog.weight;
        italic = dialog.italic;
        face.assign(dialog.face.begin(), dialog.face.end());
    }
    return CreateFontW(DialogLayoutRules::FontHeight(points, pixelsPerInch), 0, 0, 0, weight,
                       italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                       face.c_str());
}

// The dialog manager's base units for a font: its text height, and the mean width of the
// Latin letters.
POINT BaseUnits(HWND window, HFONT font) {
    const HDC dc = GetDC(window);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SIZE alphabet{};
    const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    GetTextExtentPoint32W(dc, letters, 52, &alphabet);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return {DialogLayoutRules::HorizontalBaseUnit(alphabet.cx), metrics.tmHeight};
}

void ResizeWindow(HWND window, const DialogTemplate& dialog, POINT units) {
    RECT rect{};
    GetClientRect(window, &rect);
    rect.right = rect.left + DialogLayoutRules::ScaleX(dialog.cx, units.x);
    rect.bottom = rect.top + DialogLayoutRules::ScaleY(dialog.cy, units.y);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    AdjustWindowRectEx(&rect, dialog.style, dialog.menu.present ? TRUE : FALSE, dialog.exStyle);
    MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

}  // namespace

void DialogFontLayout::Attach(HINSTANCE instance, HWND window, uint32_t templateId,
                              double pixelsPerInch) {
    Detach();
    const std::optional<DialogTemplate> dialog = LoadTemplate(instance, templateId);
    if (!dialog) return;
    m_font = CreateTemplateFont(*dialog, pixelsPerInch);
    if (m_font == nullptr) return;
    m_instance = instance;
    m_window = window;
    m_templateId = templateId;
    for (const DialogTemplateItem& item : dialog->items) m_controlIds.push_back(item.id);

    m_previousFont = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    const POINT units = BaseUnits(window, m_font);
    ResizeWindow(window, *dialog, units);

    const std::vector<HWND> controls = FindControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const DialogTemplateItem& item = dialog->items[i];
        MoveWindow(controls[i], DialogLayoutRules::ScaleX(item.x, units.x),
                   DialogLayoutRules::ScaleY(item.y, units.y),
                   DialogLayoutRules::ScaleX(item.cx, units.x),
                   DialogLayoutRules::ScaleY(item.cy, units.y), TRUE);
        SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    }
}

void DialogFontLayout::Detach() {
    if (m_font == nullptr) return;
    if (IsWindow(m_window)) {
        const WPARAM previous = reinterpret_cast<WPARAM>(m_previousFont);
        SendMessageW(m_window, WM_SETFONT, previous, TRUE);
        for (const HWND control : FindControls()) SendMessageW(control, WM_SETFONT, previous, TRUE);
    }
    DeleteObject(m_font);
    m_templateId = 0;
    m_instance = nullptr;
    m_window = nullptr;
    m_font = nullptr;
    m_previousFont = nullptr;
    m_controlIds.clear();
}

// The template's controls in order, each searched for among the children after the one found
// before it; the search ends at the first control that cannot be found.
std::vector<HWND> DialogFontLayout::FindControls() const {
    std::vector<HWND> found;
    HWND child = GetWindow(m_window, GW_CHILD);
    for (const uint32_t id : m_controlIds) {
        while (child != nullptr && static_cast<uint32_t>(GetDlgCtrlID(child)) != id)
            child = GetWindow(child, GW_HWNDNEXT);
        if (child == nullptr) break;
        found.push_back(child);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    return found;
}
