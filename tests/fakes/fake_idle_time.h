// Idle seconds set by the test, the same for every input event type; the types asked recorded.
#pragma once

#include "platform/idle_time.h"

#include <vector>

class FakeIdleTime : public IdleTime {
public:
    double secondsSinceLastEvent(InputEventType type) override {
        asked.push_back(type);
        return seconds;
    }

    double seconds = 0;
    std::vector<InputEventType> asked;
};
