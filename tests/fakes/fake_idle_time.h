// Idle seconds per input event type, set by the test; types not set answer `otherwise`.
#pragma once

#include "platform/idle_time.h"

#include <map>
#include <vector>

class FakeIdleTime : public IdleTime {
public:
    double secondsSinceLastEvent(InputEventType type) override {
        asked.push_back(type);
        const auto found = seconds.find(type);
        return found == seconds.end() ? otherwise : found->second;
    }

    std::map<InputEventType, double> seconds;
    double otherwise = 0;
    std::vector<InputEventType> asked;
};
