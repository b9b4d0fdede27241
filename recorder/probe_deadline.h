// The time that one operation's accessibility requests may take together.
#pragma once

#include "platform/clock.h"

#include <cstdint>

/// Counts down from the moment it is made, on the Clock port. A clock set back never extends
/// it beyond its budget.
class ProbeDeadline {
public:
    /// What one operation's probes (element, page address, window title) may take together.
    /// A hung application would otherwise hold the recorder for every request's timeout in
    /// turn (a page-address search alone: 400 × 0.2 s). On a busy desktop, complete probes
    /// of large browser windows take up to a second or more; 2 s keeps nearly all of them
    /// whole while a stall lasts about one focus-poll period.
    static constexpr std::int64_t operationBudgetMs = 2000;

    ProbeDeadline(Clock& clock, std::int64_t budgetMs);

    /// Milliseconds left; 0 once the budget is spent.
    std::int64_t remainingMs() const;
    bool spent() const { return remainingMs() == 0; }

private:
    Clock& clock_;
    std::int64_t startMs_;
    std::int64_t budgetMs_;
};
