#include "platform/linux/x11/hold_schedule.h"

#include <algorithm>

namespace {

// Server times are milliseconds that wrap after 49 days.
std::int64_t after(std::uint32_t later, std::uint32_t earlier) {
    return static_cast<std::int32_t>(later - earlier);
}

} // namespace

HoldSchedule::Decision HoldSchedule::pressed(std::uint32_t serverTime, std::int64_t nowMs) {
    const bool behind = recorderBehind();
    // A press queued behind the last hold (or that same press grabbed once more).
    const bool cameWhileHeld = lastHeldTime_ && after(serverTime, *lastHeldTime_) <= lastHeldForMs_;
    if (!latestPress_ || after(serverTime, *latestPress_) > 0) latestPress_ = serverTime;
    if (held_ || behind || cameWhileHeld) return Decision::passOn;
    held_ = Hold{serverTime, nowMs};
    return Decision::hold;
}

bool HoldSchedule::released(std::uint32_t serverTime) {
    if (!releasedUpTo_ || after(serverTime, *releasedUpTo_) > 0) releasedUpTo_ = serverTime;
    return held_ && after(held_->serverTime, serverTime) <= 0;
}

bool HoldSchedule::expired(std::int64_t nowMs) const {
    return held_ && nowMs - held_->sinceMs >= longestHoldMs;
}

std::optional<int> HoldSchedule::msUntilExpiry(std::int64_t nowMs) const {
    if (!held_) return std::nullopt;
    return static_cast<int>(
        std::clamp<std::int64_t>(held_->sinceMs + longestHoldMs - nowMs, 0, longestHoldMs));
}

void HoldSchedule::letGo(std::int64_t nowMs) {
    if (!held_) return;
    lastHeldTime_ = held_->serverTime;
    lastHeldForMs_ = std::max<std::int64_t>(0, nowMs - held_->sinceMs);
    held_.reset();
}

std::optional<std::uint32_t> HoldSchedule::held() const {
    if (!held_) return std::nullopt;
    return held_->serverTime;
}

bool HoldSchedule::recorderBehind() const {
    if (!latestPress_) return false;
    return !releasedUpTo_ || after(*latestPress_, *releasedUpTo_) > 0;
}
