// The GLib event loop with XInput2 input on a real X server, driven by xdotool (XTEST).
#include "platform/linux/glib_event_loop.h"
#include "ports_support.h"

#include <csignal>
#include <vector>

namespace {

using ports_test::sh;
using ports_test::spinFor;
using ports_test::spinUntil;

constexpr std::uint64_t recorderMask = 0x40A; // left down, right down, key down

class InputPorts : public ::testing::Test {
protected:
    void SetUp() override {
        display = x11::Connection::open();
        ASSERT_TRUE(display) << "needs an X display";
        loop = std::make_unique<GlibEventLoop>(display);
    }
    void install(std::uint64_t mask = recorderMask) {
        ASSERT_TRUE(
            loop->installEventTap(mask, [this](const InputEvent& e) { events.push_back(e); }));
    }
    bool awaitEvents(std::size_t n) {
        return spinUntil([&] { return events.size() >= n; });
    }

    std::shared_ptr<x11::Connection> display;
    std::unique_ptr<GlibEventLoop> loop;
    std::vector<InputEvent> events;
};

TEST_F(InputPorts, KeysArriveWithAnsiCodesCharactersAndFlags) {
    install();
    sh("xdotool key a shift+a Return BackSpace Tab");
    ASSERT_TRUE(awaitEvents(5));
    spinFor(std::chrono::milliseconds(200));
    ASSERT_EQ(events.size(), 5u) << "modifier presses are not key-downs";
    for (const auto& e : events)
        EXPECT_EQ(e.type, 10u);
    EXPECT_EQ(events[0].keyCode, 0);
    EXPECT_EQ(events[0].characters, u"a");
    EXPECT_EQ(events[0].flags, 0u);
    EXPECT_EQ(events[1].keyCode, 0);
    EXPECT_EQ(events[1].characters, u"A");
    EXPECT_EQ(events[1].flags & 0x20000u, 0x20000u);
    EXPECT_EQ(events[2].keyCode, 36);
    EXPECT_EQ(events[2].characters, u"\r");
    EXPECT_EQ(events[3].keyCode, 51);
    EXPECT_EQ(events[3].characters, u"\x7f");
    EXPECT_EQ(events[4].keyCode, 48);
    EXPECT_EQ(events[4].characters, u"\t");
}

TEST_F(InputPorts, ControlCombinationsCarryTheCommandFlag) {
    install();
    sh("xdotool key ctrl+v ctrl+c ctrl+shift+s ctrl+a");
    ASSERT_TRUE(awaitEvents(4));
    EXPECT_EQ(events[0].keyCode, 9);
    EXPECT_EQ(events[1].keyCode, 8);
    EXPECT_EQ(events[2].keyCode, 1);
    EXPECT_EQ(events[3].keyCode, 0);
    for (const auto& e : events)
        EXPECT_EQ(e.flags & 0x100000u, 0x100000u);
    EXPECT_EQ(events[3].characters, u"\x01"); // the control character, as macOS reports it
}

TEST_F(InputPorts, PauseChordReachesTheTapAndTheHotkeyMonitor) {
    std::vector<HotkeyEvent> hotkeys;
    install();
    loop->addGlobalKeyDownMonitor([&](const HotkeyEvent& e) { hotkeys.push_back(e); });
    sh("xdotool key ctrl+alt+p ctrl+p");
    ASSERT_TRUE(spinUntil([&] { return hotkeys.size() >= 2 && events.size() >= 2; }));
    EXPECT_EQ(hotkeys[0].flags & 0xC0000u, 0xC0000u);
    EXPECT_EQ(hotkeys[0].charactersIgnoringModifiers, "p");
    EXPECT_EQ(hotkeys[1].flags & 0x80000u, 0u);
    // Ctrl+Alt is macOS's Ctrl+Opt: no Command, so the tap types it instead of a shortcut.
    EXPECT_EQ(events[0].flags & 0x100000u, 0u);
    EXPECT_EQ(events[0].keyCode, 35);
    EXPECT_EQ(events[1].flags & 0x100000u, 0x100000u);
}

TEST_F(InputPorts, ClicksAreCountedAndRightClicksTyped) {
    install();
    sh("xdotool mousemove 300 300 click --repeat 3 --delay 60 1");
    ASSERT_TRUE(awaitEvents(3));
    EXPECT_EQ(events[0].clickState, 1);
    EXPECT_EQ(events[1].clickState, 2);
    EXPECT_EQ(events[2].clickState, 3);
    for (const auto& e : events)
        EXPECT_EQ(e.type, 1u);

    // The pointer is read when a press is handled, so each press is handled before the
    // pointer moves on, as at a person's speed.
    events.clear();
    sh("xdotool mousemove 500 300 click 3 sleep 0.7 click 1");
    ASSERT_TRUE(awaitEvents(2));
    sh("xdotool mousemove 560 300 click 1");
    ASSERT_TRUE(awaitEvents(3));
    EXPECT_EQ(events[0].type, 3u);
    EXPECT_EQ(events[1].type, 1u);
    EXPECT_EQ(events[1].clickState, 1); // after another button and a pause
    EXPECT_EQ(events[2].clickState, 1); // moved away
}

TEST_F(InputPorts, TheMaskSelectsEventTypes) {
    install(std::uint64_t{1} << 3); // right clicks only
    sh("xdotool key a mousemove 200 200 click 1 click 3");
    ASSERT_TRUE(awaitEvents(1));
    spinFor(std::chrono::milliseconds(200));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 3u);
}

TEST_F(InputPorts, WheelAndMiddleButtonsAreNotClicks) {
    install();
    sh("xdotool mousemove 200 200 click 4 click 5 click 2 click 1");
    ASSERT_TRUE(awaitEvents(1));
    spinFor(std::chrono::milliseconds(200));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 1u);
}

TEST(EventLoopTimers, DelayedTasksRunInDueOrderAndTimersRepeat) {
    GlibEventLoop loop(nullptr);
    std::vector<std::string> order;
    int ticks = 0;
    loop.addRepeatingTimer(0.05, [&] {
        ++ticks;
        order.push_back("tick");
    });
    loop.runAfter(0.3, [&] { order.push_back("late"); });
    loop.runAfter(0.01, [&] { order.push_back("early"); });
    loop.runAfter(0.6, [&] { loop.quit(); });
    loop.run();
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order.front(), "early"); // the timer's first call comes one interval after start
    EXPECT_GE(ticks, 3);
    EXPECT_NE(std::find(order.begin(), order.end(), "late"), order.end());
}

TEST(EventLoopTimers, InterruptReachesTheHandlerInsteadOfEndingTheProcess) {
    GlibEventLoop loop(nullptr);
    int interrupts = 0;
    loop.onInterrupt([&] {
        ++interrupts;
        if (interrupts == 2) loop.quit();
    });
    loop.runAfter(0.01, [] { std::raise(SIGINT); });
    loop.runAfter(0.05, [] { std::raise(SIGINT); });
    loop.runAfter(5, [&] { loop.quit(); });
    loop.run();
    EXPECT_EQ(interrupts, 2);
}

TEST(EventLoopWithoutDisplay, HasNoTapButStillRunsTimers) {
    GlibEventLoop loop(nullptr);
    EXPECT_FALSE(loop.installEventTap(recorderMask, [](const InputEvent&) {}));
    loop.addGlobalKeyDownMonitor([](const HotkeyEvent&) {});
    bool ran = false;
    loop.runAfter(0, [&] {
        ran = true;
        loop.quit();
    });
    loop.run();
    EXPECT_TRUE(ran);
}

} // namespace
