#include "loader/LoaderTexts.h"

namespace LoaderTexts {

namespace {

std::wstring Hex8(std::uint32_t value) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

constexpr wchar_t kUntrustedHead[] =
    L"설치 폴더를 다른 사용자가 바꿀 수 있어 업데이트하지 않고 프로그램을 실행하지 않습니다.";
constexpr wchar_t kUntrustedAdvice[] =
    L"관리자에게 이 폴더의 소유자를 Administrators로 바꾸고 다른 사용자의 쓰기 권한을 "
    L"없애거나, 폴더를 지우도록 요청하십시오.";

std::wstring ReasonText(FolderTrustRule::Finding finding, std::wstring_view principal) {
    using FolderTrustRule::Finding;
    switch (finding) {
    case Finding::NotAFolder:
        return L"폴더가 아니라 파일입니다.";
    case Finding::NotAFile:
        return L"파일이 아니라 폴더입니다.";
    case Finding::ReparsePoint:
        return L"다른 위치로 이어지는 연결(재분석 지점)입니다.";
    case Finding::OtherOwner:
        return L"다른 사용자가 소유한 폴더입니다.";
    case Finding::NoAccessList:
        return L"액세스 목록이 없어 모든 사용자가 바꿀 수 있습니다.";
    case Finding::OthersMayChange:
        return L"바꿀 수 있는 계정: " + std::wstring(principal);
    case Finding::Trusted:
        break;
    }
    return {};
}

std::wstring WithSystemText(std::wstring_view systemText) {
    const std::wstring reason = OneLine(systemText);
    return reason.empty() ? std::wstring(kUnknownSystemError) : reason;
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
    return L"설정 파일을 저장하지 못해 프로그램을 실행할 수 없습니다.(에러코드 : 0x" +
           Hex8(errorCode) + L")\r\n" + std::wstring(path) + L"\r\n" +
           WithSystemText(systemText);
}

std::wstring UntrustedFolderText(std::wstring_view folder, std::wstring_view owner,
                                 FolderTrustRule::Finding finding, std::wstring_view principal) {
    return std::wstring(kUntrustedHead) + L"\r\n폴더: " + std::wstring(folder) +
           L"\r\n소유자: " + std::wstring(owner) + L"\r\n" + ReasonText(finding, principal) +
           L"\r\n" + kUntrustedAdvice;
}

std::wstring SharedFolderText(std::wstring_view folder, SharedFolderState state,
                              FolderTrustRule::Finding finding, std::wstring_view principal) {
    const std::wstring text = L"공용 설치 폴더 " + std::wstring(folder) + L"도 사용할 수 없습니다: ";
    switch (state) {
    case SharedFolderState::CannotBeMade:
        return text + L"폴더를 만들지 못했습니다.";
    case SharedFolderState::Unreadable:
        return text + L"폴더의 보안 정보를 읽지 못했습니다.";
    case SharedFolderState::NotWritable:
        return text + L"이 사용자는 폴더를 바꿀 수 없습니다.";
    case SharedFolderState::Untrusted:
        break;
    }
    return text + ReasonText(finding, principal);
}

std::wstring UntrustedProgramText(std::wstring_view file, std::wstring_view owner,
                                  FolderTrustRule::Finding finding, std::wstring_view principal) {
    std::wstring_view folder = file.substr(0, file.find_last_of(L'\\') + 1);
    if (folder.size() > 3 && folder.back() == L'\\') folder.remove_suffix(1);
    const std::wstring quoted = L"\"" + std::wstring(folder) + L"\"";
    return L"실행할 프로그램 파일을 다른 사용자가 바꿀 수 있어 실행하지 않습니다.\r\n파일: " +
           std::wstring(file) + L"\r\n소유자: " + std::wstring(owner) + L"\r\n" +
           ReasonText(finding, principal) +
           L"\r\n관리자에게 다음 명령으로 권한을 되돌리고 소유자를 Administrators로 바꾸도록 "
           L"요청하십시오.\r\nicacls " + quoted + L" /reset /T\r\nicacls " + quoted +
           L" /setowner Administrators /T";
}

std::wstring UnreadableFolderText(std::wstring_view folder, std::uint32_t errorCode,
                                  std::wstring_view systemText) {
    return std::wstring(kUntrustedHead) + L"\r\n폴더: " + std::wstring(folder) +
           L"\r\n폴더의 보안 정보를 읽지 못했습니다.(에러코드 : 0x" + Hex8(errorCode) + L") " +
           WithSystemText(systemText) + L"\r\n" + kUntrustedAdvice;
}

std::wstring FolderCreationFailureText(std::wstring_view folder, std::uint32_t errorCode,
                                       std::wstring_view systemText) {
    return L"설치 폴더를 만들지 못해 프로그램을 실행할 수 없습니다.(에러코드 : 0x" +
           Hex8(errorCode) + L")\r\n" + std::wstring(folder) + L"\r\n" +
           WithSystemText(systemText);
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
