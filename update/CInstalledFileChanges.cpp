#include "update/CInstalledFileChanges.h"

bool CInstalledFileChanges::UnderWay() const {
    const std::lock_guard<std::mutex> guard(lock);
    return active > 0;
}

// The flag is read under the lock that UnderWay takes: a stop that sees no change under way
// after setting the flag sees every later one refused.
CInstalledFileChanges::Scope::Scope(CInstalledFileChanges& changes) : changes(changes) {
    const std::lock_guard<std::mutex> guard(changes.lock);
    entered = !changes.stopped;
    if (entered) ++changes.active;
}

CInstalledFileChanges::Scope::~Scope() {
    if (!entered) return;
    const std::lock_guard<std::mutex> guard(changes.lock);
    --changes.active;
}
