// The front window of a process: its title and the page address of its first web area.
#include "recorder/ax_probe.h"
#include "tests/fakes/fake_accessibility.h"

#include <gtest/gtest.h>

namespace {

using Node = FakeAccessibility::NodeId;
constexpr std::int32_t pid = 4242;

class FrontWindowTest : public ::testing::Test {
protected:
    FrontWindowTest() {
        app = ax.addApplication(pid);
        window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Inbox");
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
    }

    /// A web area `depth` levels below the window (1 = a child of the window).
    Node webAreaAt(int depth, std::optional<FakeAccessibility::Stored> url) {
        const Node above = ax.appendChain(window, depth - 1, "AXGroup");
        const Node area = ax.addNode("AXWebArea");
        ax.appendChild(above, area);
        if (url) ax.set(area, "AXURL", *url);
        return area;
    }

    FakeAccessibility ax;
    Node app;
    Node window;
};

TEST_F(FrontWindowTest, TitleOfTheFocusedWindowElseTheMainWindow) {
    EXPECT_EQ(AXProbe::frontWindowTitle(ax, pid), "Inbox");

    const Node main = ax.addNode("AXWindow");
    ax.setText(main, "AXTitle", "Main");
    ax.set(app, "AXMainWindow", FakeAccessibility::ElementRef{main});
    ax.set(app, "AXFocusedWindow", FakeAccessibility::Failing{});
    EXPECT_EQ(AXProbe::frontWindowTitle(ax, pid), "Main");

    ax.setText(main, "AXTitle", "");
    EXPECT_FALSE(AXProbe::frontWindowTitle(ax, pid));
}

TEST_F(FrontWindowTest, NoWindowOrNoProcessGivesNeitherTitleNorAddress) {
    ax.set(app, "AXFocusedWindow", FakeAccessibility::Failing{});
    EXPECT_FALSE(AXProbe::frontWindowTitle(ax, pid));
    EXPECT_FALSE(AXProbe::frontURL(ax, pid));
    EXPECT_FALSE(AXProbe::frontWindowTitle(ax, 99));
    EXPECT_FALSE(AXProbe::frontURL(ax, 99));
}

TEST_F(FrontWindowTest, PerProcessRequestsUseTheShortTimeout) {
    AXProbe::frontWindowTitle(ax, pid);
    AXProbe::frontURL(ax, pid);
    ASSERT_EQ(ax.timeoutsSet().size(), 2u);
    for (const auto& set : ax.timeoutsSet()) {
        EXPECT_EQ(set.node, app);
        EXPECT_FLOAT_EQ(set.seconds, 0.2f);
    }
}

TEST_F(FrontWindowTest, UrlObjectGivesItsAbsoluteString) {
    webAreaAt(3, AXURLValue{"https://example.com/a?b=c"});
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://example.com/a?b=c");
}

TEST_F(FrontWindowTest, TextAddressIsTakenEvenWhenEmpty) {
    webAreaAt(1, std::string{});
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "");
}

TEST_F(FrontWindowTest, AddressOfAnotherKindIsAbsent) {
    webAreaAt(1, AXNumber{3, "3"});
    EXPECT_FALSE(AXProbe::frontURL(ax, pid));
}

TEST_F(FrontWindowTest, FirstWebAreaWithoutAddressHidesALaterOne) {
    webAreaAt(2, std::nullopt);
    webAreaAt(4, AXURLValue{"https://later.example/"});
    EXPECT_FALSE(AXProbe::frontURL(ax, pid));
}

TEST_F(FrontWindowTest, SearchIsBreadthFirst) {
    webAreaAt(5, AXURLValue{"https://deep.example/"});
    webAreaAt(2, AXURLValue{"https://shallow.example/"});
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://shallow.example/");
}

TEST_F(FrontWindowTest, WebAreaTwelveLevelsDownIsFound) {
    webAreaAt(12, AXURLValue{"https://twelve.example/"});
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://twelve.example/");
}

TEST_F(FrontWindowTest, WebAreaThirteenLevelsDownIsNotFound) {
    webAreaAt(13, AXURLValue{"https://thirteen.example/"});
    EXPECT_FALSE(AXProbe::frontURL(ax, pid));
}

TEST_F(FrontWindowTest, WindowItselfMayBeTheWebArea) {
    ax.setText(window, "AXRole", "AXWebArea");
    ax.set(window, "AXURL", AXURLValue{"https://window.example/"});
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://window.example/");
}

TEST_F(FrontWindowTest, SearchExaminesAtMostFourHundredElements) {
    // The window is examined first, so its 399th child is the last element examined.
    for (int i = 1; i < 399; ++i)
        ax.appendChild(window, ax.addNode("AXGroup"));
    const Node last = ax.addNode("AXWebArea");
    ax.set(last, "AXURL", AXURLValue{"https://last.example/"});
    ax.appendChild(window, last);
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://last.example/");

    FakeAccessibility wide;
    const Node wideApp = wide.addApplication(pid);
    const Node wideWindow = wide.addNode("AXWindow");
    wide.set(wideApp, "AXMainWindow", FakeAccessibility::ElementRef{wideWindow});
    for (int i = 1; i < 400; ++i)
        wide.appendChild(wideWindow, wide.addNode("AXGroup"));
    const Node beyond = wide.addNode("AXWebArea");
    wide.set(beyond, "AXURL", AXURLValue{"https://beyond.example/"});
    wide.appendChild(wideWindow, beyond);
    EXPECT_FALSE(AXProbe::frontURL(wide, pid));
    EXPECT_EQ(wide.copiesOf("AXURL"), 0);
}

TEST_F(FrontWindowTest, ChildrenBeyondTheElementBudgetAreNotFetched) {
    // 450 groups under the window, each with a child of its own: the window and 399 groups
    // fill the budget, so only the window's children are ever worth asking for.
    for (int i = 0; i < 450; ++i) {
        const Node group = ax.addNode("AXGroup");
        ax.appendChild(window, group);
        ax.appendChild(group, ax.addNode("AXWebArea"));
    }
    EXPECT_FALSE(AXProbe::frontURL(ax, pid));
    EXPECT_EQ(ax.copiesOf("AXChildren"), 1);
    EXPECT_EQ(ax.copiesOf("AXURL"), 0);
}

TEST_F(FrontWindowTest, RolelessElementsAreSearchedThrough) {
    const Node unnamed = ax.addNode();
    ax.appendChild(window, unnamed);
    const Node area = ax.addNode("AXWebArea");
    ax.set(area, "AXURL", AXURLValue{"https://inside.example/"});
    ax.appendChild(unnamed, area);
    EXPECT_EQ(AXProbe::frontURL(ax, pid), "https://inside.example/");
}

TEST_F(FrontWindowTest, ReleasesEveryHandleItCopied) {
    for (int i = 0; i < 10; ++i)
        ax.appendChain(window, 4, "AXGroup");
    webAreaAt(6, AXURLValue{"https://example.com/"});
    EXPECT_TRUE(AXProbe::frontURL(ax, pid));
    EXPECT_TRUE(AXProbe::frontWindowTitle(ax, pid));
    EXPECT_EQ(ax.liveHandles(), 0);
}

} // namespace
