#pragma once

#include <string>

#include "host/SchemeUrl.h"

// What PelkoWebHost tells the user when it refuses a pelkoweb: URL, in the style of the
// component's own boxes.
namespace SchemeTexts {

inline constexpr char16_t kErrorCaption[] = u"ERROR";

// Names and parts longer than this are cut in the text, so that the box stays readable.
inline constexpr std::size_t kMaxDetail = 64;

// One sentence for the refusal, then "\r\n[detail]" when the refusal is about a part of the
// URL.
std::u16string RefusalText(SchemeUrl::Refusal refusal, std::u16string_view detail);

// PelkoWebHost started from a link, when the DLL at that path cannot be loaded or gives no
// object.
std::u16string ComponentUnavailableText(std::u16string_view dllPath);

}  // namespace SchemeTexts
