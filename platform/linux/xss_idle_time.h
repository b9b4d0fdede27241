// Idle time from the X server's screen-saver extension.
#pragma once

#include "platform/idle_time.h"

#include <memory>

namespace x11 {
class Connection;
}

class XssIdleTime final : public IdleTime {
public:
    /// Uses `connection`; when null, opens one on first use.
    explicit XssIdleTime(std::shared_ptr<x11::Connection> connection = nullptr);
    ~XssIdleTime() override;

    /// Seconds since the last input of any kind: X keeps one figure for keys, buttons,
    /// motion and wheel, so every event type gets the same answer. 0 when the server has no
    /// screen-saver extension.
    double secondsSinceLastEvent(InputEventType type) override;

private:
    std::shared_ptr<x11::Connection> connection_;
};
