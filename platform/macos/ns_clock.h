#pragma once

#include "platform/clock.h"

class NSClock final : public Clock {
public:
    std::int64_t nowMs() override;
};
