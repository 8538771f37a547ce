#pragma once

#include <string_view>

// What a value may hold before it is written into the settings file.
namespace SettingsValueRule {

// C0 and C1 control characters, DEL, and the Unicode line and paragraph separators: anything
// a reader of the file might take for a line end.
bool IsControlCharacter(wchar_t c);

// True when the value holds no control character, so that it stays one value on one line of
// the settings file.
bool IsPlainValue(std::wstring_view value);

}  // namespace SettingsValueRule
