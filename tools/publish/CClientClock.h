#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/publish/WallClock.h"

// The clients' time zone. The component stamps an installed file by reading the archive's
// DOS time as its own local time, and compares ModifyDate as local time too, so both must be
// written in the zone the clients run in, not the publisher's. An empty zone is the
// publisher's own (TZ, else the system's).
class CClientClock {
public:
    explicit CClientClock(std::string zone = {});

    // Why a zone name cannot be used; nothing when it names a zone of the time zone database.
    static std::optional<std::string> ZoneProblem(const std::string& zone);

    // The clients' wall clock at t (seconds since 1970, UTC), kept within what a DOS time can
    // hold: earlier times become 1980-01-01 00:00:00; later ones give nothing.
    std::optional<WallClock> At(int64_t t) const;
    const std::string& Zone() const { return zone; }

private:
    std::string zone;
};
