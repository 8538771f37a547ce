#pragma once

#include <cstdint>
#include <string>

#include "update/ManifestDate.h"

// A time as the clients' wall clock shows it, to the second. Archive entry times and
// ModifyDate are both written in it, so they agree without any zone conversion.
struct WallClock {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    // The oldest and newest times a DOS date and time can hold.
    static WallClock DosEarliest();
    static WallClock DosLatest();
    static WallClock FromDos(uint16_t dosDate, uint16_t dosTime);

    uint16_t DosDate() const;
    // Two-second resolution: an odd second is written as the even one before it, which
    // never leaves the minute.
    uint16_t DosTime() const;
    ManifestDate Minute() const { return ManifestDate{year, month, day, hour, minute}; }
    // "2013-05-02 17:30": what ModifyDate holds.
    std::string ModifyDateText() const;
    // The start of the following minute.
    WallClock NextMinute() const;
    // Two seconds later (the next DOS time), from the even second.
    WallClock NextDosStep() const;

    bool operator==(const WallClock&) const = default;
    auto operator<=>(const WallClock&) const = default;
};

// Minutes compared as the clients compare them.
bool MinuteBefore(const ManifestDate& a, const ManifestDate& b);
WallClock StartOfMinute(const ManifestDate& minute);
