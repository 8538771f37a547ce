#include "tools/publish/CClientClock.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "tools/publish/CScopedZone.h"

namespace {

std::filesystem::path ZoneFolder() {
    const char* folder = std::getenv("TZDIR");
    return folder && *folder ? folder : "/usr/share/zoneinfo";
}

}  // namespace

CClientClock::CClientClock(std::string zone) : zone(std::move(zone)) {}

std::optional<std::string> CClientClock::ZoneProblem(const std::string& zone) {
    const std::string hint = "unknown time zone \"" + zone + "\" (use a name such as Asia/Seoul)";
    if (zone.empty() || zone.front() == '/' || zone.find("..") != std::string::npos) return hint;
    std::error_code error;
    if (!std::filesystem::is_regular_file(ZoneFolder() / zone, error)) return hint;
    return std::nullopt;
}

std::optional<WallClock> CClientClock::At(int64_t t) const {
    const CScopedZone scope(zone);
    const time_t value = static_cast<time_t>(t);
    std::tm local{};
    if (!localtime_r(&value, &local)) return std::nullopt;
    const WallClock clock{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
    if (clock < WallClock::DosEarliest()) return WallClock::DosEarliest();
    if (clock > WallClock::DosLatest()) return std::nullopt;
    return clock;
}
