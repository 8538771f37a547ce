#include "loader/ComRefusal.h"

#include <cstdlib>

#include "framework/win32/UserMessage.h"
#include "loader/LoaderTexts.h"

namespace ComRefusal {

void Show(const wchar_t* text) noexcept {
    try {
        UserMessage::ShowMessageBox(nullptr, text, LoaderTexts::kErrorCaption, MB_OK);
    } catch (...) {
        // Without memory for the box text the refusal still stands.
        OutputDebugStringW(text);
    }
}

void ShowAndExit(const wchar_t* text) noexcept {
    Show(text);
    std::exit(-1);
}

}  // namespace ComRefusal
