#include "verify/RolloutRule.h"

namespace RolloutRule {

namespace {

constexpr uint64_t kDraws = uint64_t{1} << 32;

uint64_t Span(const ReleaseRollout& rollout) {
    return uint64_t{rollout.days} * static_cast<uint64_t>(kSecondsPerDay);
}

// The share reached at now before the cap, rounded down or up.
uint64_t Reached(const ReleaseRollout& rollout, int64_t now, bool roundUp) {
    if (now <= rollout.start) return 0;
    const uint64_t passed = static_cast<uint64_t>(now - rollout.start);
    const uint64_t span = Span(rollout);
    if (passed >= span) return ReleaseRollout::wholeShare;
    // passed < 30 days, so the product stays far below 2^64.
    const uint64_t scaled = passed * ReleaseRollout::wholeShare;
    return scaled / span + (roundUp && scaled % span != 0 ? 1 : 0);
}

}  // namespace

uint32_t ShareAt(const ReleaseRollout& rollout, int64_t now) {
    const uint64_t share = Reached(rollout, now, false);
    const uint64_t cap = rollout.cap.value_or(ReleaseRollout::wholeShare);
    return static_cast<uint32_t>(share < cap ? share : cap);
}

int64_t TurnOf(const ReleaseRollout& rollout, uint32_t draw) {
    // draw < 2^32 and span <= 30 days: the product stays below 2^54.
    return rollout.start + static_cast<int64_t>(uint64_t{draw} * Span(rollout) / kDraws);
}

bool UnderCap(const ReleaseRollout& rollout, uint32_t draw) {
    if (!rollout.cap) return true;
    // u < cap / wholeShare, in whole numbers.
    return uint64_t{draw} * ReleaseRollout::wholeShare < uint64_t{*rollout.cap} * kDraws;
}

bool Offered(const std::optional<ReleaseRollout>& rollout, bool firstInstall, uint32_t draw,
             int64_t now) {
    if (!rollout || firstInstall) return true;
    return UnderCap(*rollout, draw) && now >= TurnOf(*rollout, draw);
}

uint32_t HoldCap(const ReleaseRollout& rollout, int64_t now) {
    const uint64_t share = Reached(rollout, now, true);
    const uint64_t cap = rollout.cap.value_or(ReleaseRollout::wholeShare);
    return static_cast<uint32_t>(share < cap ? share : cap);
}

}  // namespace RolloutRule
