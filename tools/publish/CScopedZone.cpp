#include "tools/publish/CScopedZone.h"

#include <cstdlib>
#include <ctime>

CScopedZone::CScopedZone(const std::string& zone) : active(!zone.empty()) {
    if (!active) return;
    if (const char* old = std::getenv("TZ")) previous = old;
    setenv("TZ", zone.c_str(), 1);
    tzset();
}

CScopedZone::~CScopedZone() {
    if (!active) return;
    if (previous)
        setenv("TZ", previous->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
