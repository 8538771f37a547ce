#include <gtest/gtest.h>

#include <thread>

#include "patchui/CPatchDlg.h"
#include "patchui/FakeUpdateManager.h"

namespace {

SIZE SizeOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// Template 104 (28 x 25 dialog units, Tahoma 9 pt) laid out by hand at 96 pixels per inch.
SIZE TemplateAt96() {
    const HDC screen = GetDC(nullptr);
    const HFONT font =
        CreateFontW(-12, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    const HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SIZE letters{};
    GetTextExtentPoint32W(screen, L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52,
                          &letters);
    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    const int unitX = (letters.cx / 26 + 1) / 2;
    RECT rect{0, 0, MulDiv(28, unitX, 4), MulDiv(25, metrics.tmHeight, 8)};
    AdjustWindowRectEx(&rect, WS_POPUP | WS_BORDER | WS_SYSMENU | DS_SETFONT, FALSE, WS_EX_TOPMOST);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// The same template as the platform's dialog manager lays it out on this screen.
SIZE TemplateOnThisScreen() {
    const HWND plain = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(104), nullptr,
                                          &PlainDialogProc, 0);
    const SIZE size = SizeOf(plain);
    DestroyWindow(plain);
    return size;
}

int ScreenPixelsPerInch() {
    const HDC screen = GetDC(nullptr);
    const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return ppi;
}

TEST(PatchWindowSize, IsTheTemplateAt96PixelsPerInchAndTopmost) {
#ifdef PELKO_EXPECTED_DPI
    ASSERT_EQ(ScreenPixelsPerInch(), PELKO_EXPECTED_DPI) << "the prefix's resolution is not set";
#endif
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FakeUpdateManager::Script checking{[release] {
        WaitForSingleObject(release, 20000);
        return 0;
    }};
    auto record = std::make_shared<ManagerRecord>();
    SIZE size{};
    LONG_PTR exStyle = 0;
    SIZE picture{};
    {
        CPatchDlg dialog(L"http://127.0.0.1/CvUpdate/PelkoPatch", L"C:\\Corvane\\Pelko\\", nullptr,
                         [&](const std::wstring& url, const std::wstring& folder) {
                             return new FakeUpdateManager(checking, record, url, folder);
                         });
        std::thread watcher([&] {
            HWND window = nullptr;
            for (int i = 0; i < 1000 && !(window = dialog.GetSafeHwnd()); ++i) Sleep(10);
            for (int i = 0; i < 1000 && !IsWindowVisible(window); ++i) Sleep(10);
            size = SizeOf(window);
            exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
            picture = SizeOf(GetDlgItem(window, 201));
            SetEvent(release);
        });
        EXPECT_EQ(dialog.DoModal(), 1);
        watcher.join();
    }
    CloseHandle(release);

    const SIZE expected = TemplateAt96();
    EXPECT_EQ(size.cx, expected.cx);
    EXPECT_EQ(size.cy, expected.cy);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_EQ(picture.cx, 49) << "the control takes the spinner's size";
    EXPECT_EQ(picture.cy, 48);
    const SIZE system = TemplateOnThisScreen();
    if (ScreenPixelsPerInch() == 96) {
        EXPECT_EQ(system.cx, size.cx) << "at 96 the platform lays it out alike";
        EXPECT_EQ(system.cy, size.cy);
    } else {
        EXPECT_GT(system.cx, size.cx) << "the platform would have grown it";
    }
}

}  // namespace
