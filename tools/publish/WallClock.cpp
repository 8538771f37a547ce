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

namespace {

// Calendar arithmetic only: the fields are carried as if they were UTC.
WallClock Later(const WallClock& clock, int minutes, int seconds) {
    std::tm fields{};
    fields.tm_year = clock.year - 1900;
    fields.tm_mon = clock.month - 1;
    fields.tm_mday = clock.day;
    fields.tm_hour = clock.hour;
    fields.tm_min = clock.minute + minutes;
    fields.tm_sec = seconds;
    const time_t t = timegm(&fields);
    std::tm next{};
    gmtime_r(&t, &next);
    return WallClock{next.tm_year + 1900, next.tm_mon + 1, next.tm_mday,
                     next.tm_hour,        next.tm_min,     next.tm_sec};
}

}  // namespace

WallClock WallClock::NextMinute() const { return Later(*this, 1, 0); }

WallClock WallClock::NextDosStep() const { return Later(*this, 0, second / 2 * 2 + 2); }

bool MinuteBefore(const ManifestDate& a, const ManifestDate& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute);
}

WallClock StartOfMinute(const ManifestDate& m) {
    return WallClock{m.year, m.month, m.day, m.hour, m.minute, 0};
}
