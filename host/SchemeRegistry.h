#pragma once

#include <string>
#include <string_view>
#include <vector>

// What registers the pelkoweb: scheme for the current user: the values below the user's
// classes key (HKEY_CURRENT_USER), all text (REG_SZ).
namespace SchemeRegistry {

inline constexpr char16_t kSchemeKey[] = u"Software\\Classes\\pelkoweb";

struct Entry {
    std::u16string key;   // below HKEY_CURRENT_USER
    std::u16string name;  // empty: the key's default value
    std::u16string data;
};

// The values that hand a pelkoweb: URL to the program: the key's description, "URL Protocol",
// the default icon and the open command, which quotes the program's full path and the URL so
// that the URL reaches the program as one argument whatever it holds.
std::vector<Entry> Entries(std::u16string_view programPath);

// The keys those values live in, deepest first, so that each can go once it is empty.
std::vector<std::u16string> KeysDeepestFirst();

}  // namespace SchemeRegistry
