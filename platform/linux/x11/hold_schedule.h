// When a button press may be held back from applications, and for how long. Holds never add
// up: a press is held at most `longestHoldMs`, a press that came while another was held goes
// on at once, and so does every press while the recorder has not yet finished with an earlier
// one (holding it could not give it its screenshot, only delay it).
#pragma once

#include <cstdint>
#include <optional>

class HoldSchedule {
public:
    /// However long the recorder takes, no press is held longer than this.
    static constexpr std::int64_t longestHoldMs = 100;

    enum class Decision { hold, passOn };

    /// A press that happened at server time `serverTime` arrives at `nowMs` (steady clock):
    /// whether to hold it. A press held already is let go first (see `letGo`).
    Decision pressed(std::uint32_t serverTime, std::int64_t nowMs);
    /// The recorder is done with every press up to `serverTime`. True when the press held is
    /// among them and must go on now.
    bool released(std::uint32_t serverTime);
    /// True when the press held has been held its longest by `nowMs` and must go on now.
    bool expired(std::int64_t nowMs) const;
    /// Milliseconds until the press held expires; nothing while none is held.
    std::optional<int> msUntilExpiry(std::int64_t nowMs) const;
    /// The press held went on at `nowMs`.
    void letGo(std::int64_t nowMs);
    /// Server time of the press held, if any.
    std::optional<std::uint32_t> held() const;

private:
    /// The recorder has been handed a press it has not released.
    bool recorderBehind() const;

    struct Hold {
        std::uint32_t serverTime;
        std::int64_t sinceMs;
    };
    std::optional<Hold> held_;
    /// The last hold: its press's server time and how long it lasted.
    std::optional<std::uint32_t> lastHeldTime_;
    std::int64_t lastHeldForMs_ = 0;
    std::optional<std::uint32_t> latestPress_;
    std::optional<std::uint32_t> releasedUpTo_;
};
