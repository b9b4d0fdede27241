// The GLib event loop with XInput2 input on a real X server, driven by xdotool (XTEST).
#include "platform/linux/glib_event_loop.h"
#include "ports_support.h"

#include <csignal>
#include <vector>

namespace {

using ports_test::sh;
using ports_test::spinUntil;

constexpr std::uint64_t recorderMask = 0x40A; // left down, right down, key down
constexpr std::uint64_t shiftFlag = 0x20000, commandFlag = 0x100000;

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
    /// Runs `command`, which causes at least `count` events, the last of type `last` (a key
    /// press: "z"), and waits for that one: all that came before it has arrived by then.
    void deliver(const std::string& command, std::size_t count, std::uint32_t last) {
        const std::size_t before = events.size();
        sh(command);
        ASSERT_TRUE(spinUntil([&] {
            return events.size() >= before + count && events.back().type == last &&
                   (last != 10 || events.back().characters == u"z");
        }));
    }

    std::shared_ptr<x11::Connection> display;
    std::unique_ptr<GlibEventLoop> loop;
    std::vector<InputEvent> events;
};

TEST_F(InputPorts, KeysArriveWithAnsiCodesCharactersAndFlags) {
    install();
    deliver("xdotool key a shift+a Return BackSpace Tab ctrl+v ctrl+c ctrl+shift+s ctrl+a z", 10,
            10);
    struct Expected {
        int keyCode;
        std::u16string characters; ///< empty: not compared
        std::uint64_t flags;
    };
    // Modifier presses are no key-downs; Control is the Command flag, and Ctrl+A's character
    // is the control character, as macOS reports them.
    const std::vector<Expected> expected{{0, u"a", 0},
                                         {0, u"A", shiftFlag},
                                         {36, u"\r", 0},
                                         {51, u"\x7f", 0},
                                         {48, u"\t", 0},
                                         {9, u"", commandFlag},
                                         {8, u"", commandFlag},
                                         {1, u"", commandFlag | shiftFlag},
                                         {0, u"\x01", commandFlag},
                                         {6, u"z", 0}};
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].type, 10u);
        EXPECT_EQ(events[i].keyCode, expected[i].keyCode);
        EXPECT_EQ(events[i].flags & (shiftFlag | commandFlag), expected[i].flags);
        if (!expected[i].characters.empty()) {
            EXPECT_EQ(events[i].characters, expected[i].characters);
        }
    }
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
    EXPECT_EQ(events[0].flags & commandFlag, 0u);
    EXPECT_EQ(events[0].keyCode, 35);
    EXPECT_EQ(events[1].flags & commandFlag, commandFlag);
}

TEST_F(InputPorts, ClicksAreCountedAndRightClicksTyped) {
    install();
    deliver("xdotool mousemove 300 300 click --repeat 3 --delay 60 1", 3, 1);
    // The pointer is read when a press is handled, so each press is handled before the
    // pointer moves on, as at a person's speed.
    deliver("xdotool mousemove 500 300 click 3 sleep 0.7 click 1", 2, 1);
    deliver("xdotool mousemove 560 300 click 1", 1, 1);
    std::vector<std::pair<std::uint32_t, std::int64_t>> seen;
    for (const auto& e : events)
        seen.emplace_back(e.type, e.type == 3 ? 0 : e.clickState);
    // A click after another button and a pause, or moved away, counts from one again.
    EXPECT_EQ(seen, (decltype(seen){{1, 1}, {1, 2}, {1, 3}, {3, 0}, {1, 1}, {1, 1}}));
}

TEST_F(InputPorts, TheMaskSelectsEventTypesAndWheelOrMiddleButtonsAreNoClicks) {
    install(std::uint64_t{1} << 3); // right clicks only
    deliver("xdotool key a mousemove 200 200 click 1 click 4 click 5 click 2 click 3", 1, 3);
    EXPECT_EQ(events.size(), 1u);
    loop = std::make_unique<GlibEventLoop>(display);
    events.clear();
    install();
    deliver("xdotool mousemove 200 200 click 4 click 5 click 2 key z", 1, 10);
    EXPECT_EQ(events.size(), 1u);
}

TEST(EventLoopTimers, DelayedTasksRunInDueOrderTimersRepeatAndInterruptsReachTheHandler) {
    GlibEventLoop loop(nullptr);
    EXPECT_FALSE(loop.installEventTap(recorderMask, [](const InputEvent&) {})); // no display
    loop.addGlobalKeyDownMonitor([](const HotkeyEvent&) {});
    std::vector<std::string> order;
    int ticks = 0;
    int interrupts = 0;
    loop.addRepeatingTimer(0.05, [&] {
        ++ticks;
        order.push_back("tick");
    });
    loop.onInterrupt([&] { ++interrupts; });
    loop.runAfter(0.3, [&] { order.push_back("late"); });
    loop.runAfter(0.01, [&] {
        order.push_back("early");
        std::raise(SIGINT);
    });
    loop.runAfter(0.05, [] { std::raise(SIGINT); });
    loop.runAfter(0.6, [&] { loop.quit(); });
    loop.run();
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order.front(), "early"); // the timer's first call comes one interval after start
    EXPECT_GE(ticks, 3);
    EXPECT_NE(std::find(order.begin(), order.end(), "late"), order.end());
    EXPECT_EQ(interrupts, 2); // instead of ending the process
}

} // namespace
