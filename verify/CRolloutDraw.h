#pragma once

#include <cstdint>
#include <string>

#include "verify/CReleaseSerial.h"

// The install folder's own place in every staged rollout: a number drawn once from the
// system's generator, kept beside the release serial record (PelkoRollout.draw), never sent
// anywhere and never drawn again. A record that cannot be read, or a draw that cannot be kept,
// counts as the last place (RolloutRule::kLastDraw): a broken record never moves an install
// ahead, and drawing again could.
class CRolloutDraw {
public:
    static constexpr const wchar_t* fileName = L"PelkoRollout.draw";

    explicit CRolloutDraw(const std::wstring& installFolder) : record(installFolder, fileName) {}

    // The kept draw; the first call draws and keeps it.
    uint32_t Draw() const;

private:
    CReleaseSerial record;
};
