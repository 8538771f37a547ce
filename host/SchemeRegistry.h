#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/SchemeValues.h"

// What registers the pelkoweb: scheme for the current user: the values below the user's
// classes key (HKEY_CURRENT_USER), all text (REG_SZ), as host/SchemeRegistry.cmake defines
// them for this program and for the installer.
namespace SchemeRegistry {

inline constexpr const char16_t* kSchemeKey = SchemeValues::kSchemeKey;

struct Entry {
    std::u16string key;   // below HKEY_CURRENT_USER
    std::u16string name;  // empty: the key's default value
    std::u16string data;
};

// The values that hand a pelkoweb: URL to the program: the key's description, "URL Protocol",
// the default icon and, last, the open command.
std::vector<Entry> Entries(std::u16string_view programPath);

// The keys those values live in, with the keys between them and the scheme key, deepest
// first, so that each can go once it is empty.
std::vector<std::u16string> KeysDeepestFirst();

}  // namespace SchemeRegistry
