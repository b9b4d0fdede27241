#include "platform/linux/system_clock.h"

#include <chrono>

std::int64_t SystemClock::nowMs() {
    // duration_cast truncates toward zero, also before 1970.
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
