#include "loader/LoaderTexts.h"

namespace LoaderTexts {

namespace {

std::wstring Hex8(std::uint32_t value) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

std::wstring WrongServerText(std::wstring_view server) {
    std::wstring text = L"잘못된 서버에 접근하고 있습니다.\r\n[";
    text.append(server);
    text += L']';
    return text;
}

std::wstring OneLine(std::wstring_view systemText) {
    while (!systemText.empty() &&
           (systemText.back() == L'\r' || systemText.back() == L'\n' || systemText.back() == L' '))
        systemText.remove_suffix(1);
    return std::wstring(systemText);
}

std::wstring SettingsFailureText(std::wstring_view path, std::uint32_t errorCode,
                                 std::wstring_view systemText) {
    const std::wstring reason = OneLine(systemText);
    return L"설정 파일을 저장하지 못해 프로그램을 실행할 수 없습니다.(에러코드 : 0x" +
           Hex8(errorCode) + L")\r\n" + std::wstring(path) + L"\r\n" +
           (reason.empty() ? std::wstring(kUnknownSystemError) : reason);
}

std::wstring StartFailureText(std::uint32_t errorCode, std::wstring_view systemText) {
    std::wstring text =
        L"프로그램을 실행하는데 실패하였습니다.(에러코드 : 0x" + Hex8(errorCode) + L"): ";
    text.append(systemText.empty() ? std::wstring_view(kUnknownSystemError) : systemText);
    const std::size_t limit = kStartFailureRoom - 1;
    if (text.size() > limit) {
        std::size_t cut = limit;
        if (IsHighSurrogate(text[cut - 1])) --cut;
        text.resize(cut);
    }
    return text;
}

}  // namespace LoaderTexts
