#include "framework/CodePage.h"

#include <windows.h>

#include <climits>

namespace CodePage {

std::wstring ToWide(uint32_t codePage, const uint8_t* bytes, size_t size) {
    if (size == 0 || size > INT_MAX) return std::wstring();
    const DWORD flags = (codePage == CP_ACP || codePage == CP_OEMCP) ? MB_PRECOMPOSED : 0;
    const char* text = reinterpret_cast<const char*>(bytes);
    const int length =
        MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), wide.data(), length) !=
        length)
        return std::wstring();
    return wide;
}

}  // namespace CodePage
