// The recorder's end of the press hold: starts the keeper process (press_hold_keeper.h) and
// tells it which presses the recorder is done with.
#pragma once

#include <cstdint>
#include <memory>
#include <sys/types.h>

class PressHoldLink {
public:
    /// Starts this executable (/proc/self/exe) as the keeper, in a session of its own, with
    /// nothing of ours but the pipe; nullptr when it cannot be started (presses then go
    /// through unheld).
    static std::unique_ptr<PressHoldLink> start();
    /// Closes the pipe: the keeper lets a held press go on and ends.
    ~PressHoldLink();
    PressHoldLink(const PressHoldLink&) = delete;
    PressHoldLink& operator=(const PressHoldLink&) = delete;

    /// The recorder is done with every press up to server time `serverTime`. Never blocks: a
    /// keeper that does not read (stopped) misses releases and lets its holds expire.
    void releaseUpTo(std::uint32_t serverTime) const;

private:
    PressHoldLink(pid_t keeper, int writeEnd) : keeper_(keeper), writeEnd_(writeEnd) {}

    pid_t keeper_;
    int writeEnd_;
};
