// Focus dwells: one stay of the front window lasts while its application, title and page do.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

using Addresses = std::vector<std::optional<std::string>>;

// A page address that could not be read on one poll neither ends the stay nor starts another;
// another address does.
TEST(FocusDwell, AnUnreadAddressNeitherEndsNorSplitsAStay) {
    const struct {
        const char* name;
        Addresses reads; ///< what each poll reads; nothing: the request fails
        Addresses stays; ///< the dwells written
    } cases[] = {
        {"read late", {std::nullopt, "https://a.example/"}, {"https://a.example/"}},
        {"unread once",
         {"https://a.example/", std::nullopt, "https://a.example/"},
         {"https://a.example/"}},
        {"another page",
         {"https://a.example/", "https://b.example/"},
         {"https://a.example/", "https://b.example/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig rig;
        rig.pipes.grant(100);
        const auto webArea = rig.frontPage("Browser", "org.example.browser", "Page");
        for (const auto& address : c.reads) {
            if (address) {
                rig.ax.set(webArea, "AXURL", AXURLValue{*address});
            } else {
                rig.ax.set(webArea, "AXURL", FakeAccessibility::Failing{});
            }
            rig.recorder->pollFocus();
            rig.clock.advance(1500);
        }
        rig.workspace.setFront("Other", "org.example.other", 2); // ends the last stay
        rig.recorder->pollFocus();

        Addresses stays;
        for (const auto& frame : rig.pipes.frames().ofType("focus")) {
            const auto& event = frame.header["event"];
            stays.push_back(event.contains("url")
                                ? std::optional<std::string>(event["url"].get<std::string>())
                                : std::nullopt);
        }
        EXPECT_EQ(stays, c.stays);
    }
}

// A title that changes while a line still too short for a piece is typed, and shows it, was
// made of it: its stay is withheld. A title that showed those words before says nothing.
TEST(FocusDwell, AStayTitledAfterALineStillBeingTypedIsWithheld) {
    const struct {
        const char *before, *typed, *during;
        std::vector<std::string> written;
    } cases[] = {
        {"Find", "Zqx", "Find zqx - Browser", {"Find", "(withheld)"}},
        {"Read the news", "the", "Read the news", {"Read the news"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.during);
        RecorderRig rig;
        rig.pipes.grant(100);
        const auto window = rig.frontWindow("Browser", "org.example.browser", c.before);
        rig.recorder->pollFocus();
        rig.recorder->appendTyping(c.typed, "org.example.browser");
        rig.ax.setText(window, "AXTitle", c.during);
        rig.recorder->pollFocus();
        rig.ax.setText(window, "AXTitle", "Results");
        rig.recorder->pollFocus();
        std::vector<std::string> written;
        for (const auto& frame : rig.pipes.frames().ofType("focus"))
            written.push_back(frame.header["event"]["windowTitle"]);
        EXPECT_EQ(written, c.written);
    }
}

} // namespace
