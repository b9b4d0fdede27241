// A wall clock that moves only when told.
#pragma once

#include "platform/clock.h"

#include <atomic>
#include <cstdint>

class FakeClock : public Clock {
public:
    std::int64_t nowMs() override { return nowMs_.load(); }
    void advance(std::int64_t ms) { nowMs_.fetch_add(ms); }

private:
    std::atomic<std::int64_t> nowMs_{1'700'000'000'000};
};
