#pragma once

#include "platform/idle_time.h"

class CGIdleTime final : public IdleTime {
public:
    double secondsSinceLastEvent(InputEventType type) override;
};
