#include "verify/CRolloutDraw.h"

#include <windows.h>
// CNG's header needs the platform's base types first.
#include <bcrypt.h>

#include "framework/win32/DebugOutput.h"
#include "verify/RolloutRule.h"

uint32_t CRolloutDraw::Draw() const {
    const CReleaseSerial::Reading kept = record.Read();
    if (kept.found && kept.serial <= RolloutRule::kLastDraw)
        return static_cast<uint32_t>(kept.serial);
    if (kept.found || kept.damaged) {
        DebugOutput::DebugLine(L"CRolloutDraw, " + record.Path() +
                               L" cannot be read: this install takes staged releases last\n");
        return RolloutRule::kLastDraw;
    }
    uint32_t draw = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&draw), sizeof(draw),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG)) ||
        !record.Record(draw)) {
        DebugOutput::DebugLine(L"CRolloutDraw, no draw kept in " + record.Path() +
                               L": this install takes staged releases last\n");
        return RolloutRule::kLastDraw;
    }
    return draw;
}
