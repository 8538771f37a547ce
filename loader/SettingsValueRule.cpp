#include "loader/SettingsValueRule.h"

#include <algorithm>

namespace SettingsValueRule {

bool IsControlCharacter(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool IsPlainValue(std::wstring_view value) {
    return std::none_of(value.begin(), value.end(), IsControlCharacter);
}

}  // namespace SettingsValueRule
