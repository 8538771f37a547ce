#pragma once

#include <string_view>

// A release time as the manifest writes it: local time to the minute.
struct ManifestDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;

    bool operator==(const ManifestDate&) const = default;
};

// "-", " " and ":" each move on to the next field (also several in a row); any other character
// belongs to the current field; text after the fifth field is dropped. Each field is read as
// its leading decimal digits (none: 0). Nothing is validated here.
ManifestDate ParseManifestDate(std::wstring_view text);
