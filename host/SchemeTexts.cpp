#include "host/SchemeTexts.h"

namespace SchemeTexts {

namespace {

using SchemeUrl::Refusal;

static_assert(SchemeUrl::kMaxLength == 4096, "the TooLong text names the bound");

std::u16string_view Sentence(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            break;
        case Refusal::TooLong:
            return u"실행 주소가 너무 깁니다.(최대 4096자)";
        case Refusal::ExtraArguments:
            return u"실행 주소 뒤에 다른 인수가 있습니다.";
        case Refusal::BadCharacter:
            return u"실행 주소에 허용되지 않는 문자가 있습니다.";
        case Refusal::NotSchemeUrl:
            return u"pelkoweb:// 형식의 실행 주소가 아닙니다.";
        case Refusal::UnknownOperation:
            return u"알 수 없는 실행 요청입니다.";
        case Refusal::MalformedParameter:
            return u"매개변수 형식이 잘못되었습니다.";
        case Refusal::UnknownParameter:
            return u"알 수 없는 매개변수입니다.";
        case Refusal::RepeatedParameter:
            return u"매개변수가 두 번 이상 있습니다.";
        case Refusal::MissingParameter:
            return u"필요한 매개변수가 없습니다.";
        case Refusal::BadPercentEncoding:
            return u"매개변수 값의 퍼센트 인코딩이 잘못되었습니다.";
        case Refusal::InvalidUtf8:
            return u"매개변수 값이 올바른 UTF-8 텍스트가 아닙니다.";
        case Refusal::EmbeddedNul:
            return u"매개변수 값에 NUL 문자가 있습니다.";
    }
    return u"실행 주소가 올바르지 않습니다.";
}

// The refusals that are about one part of the URL, which the text then names.
bool NamesAPart(Refusal refusal) {
    return refusal != Refusal::TooLong && refusal != Refusal::ExtraArguments &&
           refusal != Refusal::NotSchemeUrl;
}

}  // namespace

std::u16string RefusalText(Refusal refusal, std::u16string_view detail) {
    std::u16string text(Sentence(refusal));
    if (!NamesAPart(refusal)) return text;
    text += u"\r\n[";
    text += detail.substr(0, kMaxDetail);
    if (detail.size() > kMaxDetail) text += u"...";
    text += u']';
    return text;
}

std::u16string ComponentUnavailableText(std::u16string_view dllPath) {
    std::u16string text = u"PelkoWebLoader.dll을 사용할 수 없습니다.\r\n[";
    text += dllPath;
    text += u']';
    return text;
}

}  // namespace SchemeTexts
