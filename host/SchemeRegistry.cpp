#include "host/SchemeRegistry.h"

#include <algorithm>

namespace SchemeRegistry {

namespace {

std::u16string WithProgram(std::u16string_view data, std::u16string_view programPath) {
    const std::u16string_view placeholder = SchemeValues::kProgram;
    std::u16string text;
    size_t from = 0;
    for (size_t at = data.find(placeholder); at != std::u16string_view::npos;
         at = data.find(placeholder, from)) {
        text.append(data.substr(from, at - from)).append(programPath);
        from = at + placeholder.size();
    }
    return text.append(data.substr(from));
}

size_t Depth(std::u16string_view key) { return std::count(key.begin(), key.end(), u'\\'); }

}  // namespace

std::vector<Entry> Entries(std::u16string_view programPath) {
    std::vector<Entry> entries;
    for (const SchemeValues::Value& value : SchemeValues::kValues)
        entries.push_back({std::u16string(kSchemeKey) + value.key, value.name,
                           WithProgram(value.data, programPath)});
    return entries;
}

std::vector<std::u16string> KeysDeepestFirst() {
    std::vector<std::u16string> keys;
    for (const SchemeValues::Value& value : SchemeValues::kValues) {
        const std::u16string_view below = value.key;
        for (size_t end = below.size(); end != std::u16string_view::npos;
             end = end == 0 ? std::u16string_view::npos : below.rfind(u'\\', end - 1)) {
            std::u16string key = std::u16string(kSchemeKey) + std::u16string(below.substr(0, end));
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
        }
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return Depth(a) > Depth(b); });
    return keys;
}

}  // namespace SchemeRegistry
