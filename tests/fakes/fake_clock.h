// A wall clock that moves only when told.
#pragma once

#include "platform/clock.h"

#include <atomic>
#include <cstdint>

class FakeClock : public Clock {
public:
    explicit FakeClock(std::int64_t startMs = 1'700'000'000'000) : nowMs_(startMs) {}

    std::int64_t nowMs() override {
        reads_.fetch_add(1);
        return nowMs_.load();
    }

    void set(std::int64_t ms) { nowMs_.store(ms); }
    void advance(std::int64_t ms) { nowMs_.fetch_add(ms); }
    /// Number of readings taken so far.
    int reads() const { return reads_.load(); }

private:
    std::atomic<std::int64_t> nowMs_;
    std::atomic<int> reads_{0};
};
