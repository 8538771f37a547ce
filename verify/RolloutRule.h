#pragma once

#include <cstdint>
#include <optional>

#include "verify/ReleaseStatement.h"

// Which installs a staged release is offered to. Each install draws once a private number u in
// [0, 1), kept as draw = u * 2^32; the release reaches it at start + u * days, unless the
// rollout is held below u. Times are seconds since 1970, UTC.
namespace RolloutRule {

constexpr int64_t kSecondsPerDay = 86400;
// The draw of an install whose own cannot be read or kept: the last turn, never an early one.
constexpr uint32_t kLastDraw = UINT32_MAX;

// The share of installs the rollout has reached at now, in millionths: 0 before its start,
// growing evenly to the whole over its days, never above its cap.
uint32_t ShareAt(const ReleaseRollout& rollout, int64_t now);

// When the release reaches the install of this draw, ignoring the cap.
int64_t TurnOf(const ReleaseRollout& rollout, uint32_t draw);

// Whether the cap leaves room for this draw.
bool UnderCap(const ReleaseRollout& rollout, uint32_t draw);

// Whether the release is offered: always without a rollout and to an install without the
// product (a first install); otherwise once its turn has come, under the cap.
bool Offered(const std::optional<ReleaseRollout>& rollout, bool firstInstall, uint32_t draw,
             int64_t now);

// The cap that holds the rollout at what it has reached at now (rounded up: an install the
// rollout has reached stays under it).
uint32_t HoldCap(const ReleaseRollout& rollout, int64_t now);

}  // namespace RolloutRule
