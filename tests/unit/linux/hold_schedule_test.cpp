// When the press hold holds a press, and when it lets it go: holds never add up.
#include "platform/linux/x11/hold_schedule.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Decision = HoldSchedule::Decision;

// One step of a run: at steady time `at`, a press at server time `serverTime` (press), the
// recorder done up to `serverTime` (release), or the clock looked at (tick).
struct Step {
    enum Kind { press, release, tick } kind;
    std::int64_t at;
    std::uint32_t serverTime = 0;
};

struct Case {
    std::string name;
    std::vector<Step> steps;
    // Per press: held or passed on; per release and tick: whether a press went on then.
    std::vector<std::string> expected;
};

std::vector<std::string> play(const std::vector<Step>& steps) {
    HoldSchedule schedule;
    std::vector<std::string> seen;
    for (const Step& step : steps) {
        switch (step.kind) {
        case Step::press:
            if (schedule.held()) schedule.letGo(step.at); // a second device's press
            seen.push_back(schedule.pressed(step.serverTime, step.at) == Decision::hold ? "held"
                                                                                        : "passed");
            break;
        case Step::release:
            if (schedule.released(step.serverTime)) {
                schedule.letGo(step.at);
                seen.push_back("released");
            } else {
                seen.push_back("-");
            }
            break;
        case Step::tick:
            if (schedule.expired(step.at)) {
                schedule.letGo(step.at);
                seen.push_back("expired");
            } else {
                seen.push_back("-");
            }
            break;
        }
    }
    return seen;
}

TEST(HoldSchedule, HoldsOnlyWhileTheRecorderKeepsUpAndNeverLongerThanItsLimit) {
    const std::uint32_t t = 0xFFFFFF00; // server times wrap around during these runs
    const std::vector<Case> cases{
        {"a press released by the recorder goes on then",
         {{Step::press, 0, t}, {Step::release, 30, t}},
         {"held", "released"}},
        {"an earlier release lets nothing go",
         {{Step::press, 0, t + 10}, {Step::release, 5, t}},
         {"held", "-"}},
        {"a press not released goes on after 100 ms",
         {{Step::press, 0, t}, {Step::tick, 99, 0}, {Step::tick, 100, 0}},
         {"held", "-", "expired"}},
        {"presses that came while one was held go on at once",
         {{Step::press, 0, t},
          {Step::release, 60, t},
          {Step::press, 61, t + 20},
          {Step::press, 61, t + 40},
          {Step::release, 62, t + 40},
          {Step::press, 90, t + 90}},
         {"held", "released", "passed", "passed", "-", "held"}},
        {"the same press grabbed again is not held twice",
         {{Step::press, 0, t}, {Step::release, 0, t}, {Step::press, 0, t}},
         {"held", "released", "passed"}},
        {"while the recorder is behind, every press goes on at once",
         {{Step::press, 0, t},
          {Step::tick, 100, 0},
          {Step::press, 200, t + 200},
          {Step::press, 300, t + 300},
          {Step::release, 350, t},
          {Step::press, 400, t + 400},
          {Step::release, 450, t + 400},
          {Step::press, 500, t + 500}},
         {"held", "expired", "passed", "passed", "-", "passed", "-", "held"}},
        {"a press of a second device lets the first go",
         {{Step::press, 0, t}, {Step::press, 10, t + 200}, {Step::release, 20, t + 200}},
         {"held", "passed", "-"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(play(c.steps), c.expected) << c.name;
    }
}

TEST(HoldSchedule, TellsHowLongUntilTheHeldPressExpires) {
    HoldSchedule schedule;
    EXPECT_EQ(schedule.msUntilExpiry(0), std::nullopt);
    ASSERT_EQ(schedule.pressed(7, 1000), Decision::hold);
    EXPECT_EQ(schedule.msUntilExpiry(1000), 100);
    EXPECT_EQ(schedule.msUntilExpiry(1070), 30);
    EXPECT_EQ(schedule.msUntilExpiry(1500), 0);
    schedule.letGo(1500);
    EXPECT_EQ(schedule.msUntilExpiry(1500), std::nullopt);
}

} // namespace
