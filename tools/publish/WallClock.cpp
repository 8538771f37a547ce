#include "tools/publish/WallClock.h"

#include <cstdio>
#include <ctime>
#include <tuple>

WallClock WallClock::DosEarliest() { return WallClock{1980, 1, 1, 0, 0, 0}; }

WallClock WallClock::DosLatest() { return WallClock{2107, 12, 31, 23, 59, 58}; }

WallClock WallClock::FromDos(uint16_t dosDate, uint16_t dosTime) {
    return WallClock{(dosDate >> 9) + 1980, (dosDate >> 5) & 0x0F, dosDate & 0x1F,
                     dosTime >> 11,         (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2};
}

uint16_t WallClock::DosDate() const {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t WallClock::DosTime() const {
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

std::string WallClock::ModifyDateText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return text;
}

WallClock WallClock::NextMinute() const {
    // Calendar arithmetic only: the fields are carried as if they were UTC.
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute + 1;
    const time_t t = timegm(&fields);
    std::tm next{};
    gmtime_r(&t, &next);
    return WallClock{next.tm_year + 1900, next.tm_mon + 1, next.tm_mday,
                     next.tm_hour,        next.tm_min,     0};
}

bool MinuteBefore(const ManifestDate& a, const ManifestDate& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute);
}

WallClock StartOfMinute(const ManifestDate& m) {
    return WallClock{m.year, m.month, m.day, m.hour, m.minute, 0};
}
