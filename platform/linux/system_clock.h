#pragma once

#include "platform/clock.h"

class SystemClock final : public Clock {
public:
    std::int64_t nowMs() override;
};
