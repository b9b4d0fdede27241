// The time that one operation's accessibility requests may take together.
#pragma once

#include "platform/clock.h"

#include <cstdint>

/// Counts down from the moment it is made, on the Clock port. A clock set back never extends
/// it beyond its budget.
class ProbeDeadline {
public:
    /// What one operation's probes (element, page address, window title) may take together:
    /// less than the 0.45 s before a click's result frame, and room for one full 0.2 s
    /// request to a slow application.
    static constexpr std::int64_t operationBudgetMs = 250;

    ProbeDeadline(Clock& clock, std::int64_t budgetMs);

    /// Milliseconds left; 0 once the budget is spent.
    std::int64_t remainingMs() const;
    bool spent() const { return remainingMs() == 0; }

private:
    Clock& clock_;
    std::int64_t startMs_;
    std::int64_t budgetMs_;
};
