#include "update/ManifestDate.h"

#include <array>
#include <string>

namespace {

constexpr size_t kFieldCount = 5;

bool IsFieldSeparator(wchar_t c) { return c == L'-' || c == L' ' || c == L':'; }

// Leading decimal digits only; saturates instead of overflowing on absurdly long fields.
int LeadingNumber(std::wstring_view field) {
    constexpr int kLimit = 1000000000;
    int value = 0;
    for (wchar_t c : field) {
        if (c < L'0' || c > L'9') break;
        value = value >= kLimit / 10 ? kLimit : value * 10 + (c - L'0');
    }
    return value;
}

}  // namespace

ManifestDate ParseManifestDate(std::wstring_view text) {
    std::array<std::wstring, kFieldCount> fields;
    size_t index = 0;
    for (wchar_t c : text) {
        if (IsFieldSeparator(c))
            ++index;
        else if (index < kFieldCount)
            fields[index] += c;
    }
    return ManifestDate{LeadingNumber(fields[0]), LeadingNumber(fields[1]),
                        LeadingNumber(fields[2]), LeadingNumber(fields[3]),
                        LeadingNumber(fields[4])};
}
