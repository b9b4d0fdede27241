// Idle time from the X server: the screen-saver extension, else the SYNC extension's
// IDLETIME counter (servers started without the screen saver still keep that one).
#pragma once

#include "platform/idle_time.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace x11 {
class Connection;
}

class XssIdleTime final : public IdleTime {
public:
    /// Uses `connection`; when null, opens one on first use.
    explicit XssIdleTime(std::shared_ptr<x11::Connection> connection = nullptr);
    ~XssIdleTime() override;

    /// Seconds since the last input of any kind: X keeps one figure for keys, buttons,
    /// motion and wheel, so every event type gets the same answer. 0 when the server has
    /// neither extension.
    double secondsSinceLastEvent(InputEventType type) override;

private:
    std::optional<double> screenSaverSeconds();
    std::optional<double> idleCounterSeconds();

    /// A server answer and when it came: questions asked right after it (one per event type)
    /// are answered from it, plus the time since, instead of another round trip.
    struct Reading {
        double seconds = 0;
        std::chrono::steady_clock::time_point taken;
    };
    static constexpr std::chrono::milliseconds readingReuse{100};

    std::shared_ptr<x11::Connection> connection_;
    std::optional<Reading> last_;
    std::optional<std::uint32_t> idleCounter_; ///< the IDLETIME counter, once found
};
