#include "recorder/probe_deadline.h"

#include <algorithm>

ProbeDeadline::ProbeDeadline(Clock& clock, std::int64_t budgetMs)
    : clock_(clock), startMs_(clock.nowMs()), budgetMs_(std::max<std::int64_t>(budgetMs, 0)) {}

std::int64_t ProbeDeadline::remainingMs() const {
    const std::int64_t elapsed = std::max<std::int64_t>(clock_.nowMs() - startMs_, 0);
    return std::max<std::int64_t>(budgetMs_ - elapsed, 0);
}
