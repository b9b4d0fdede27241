// The front window of a process: its title and the page address of the web area it shows.
#include "recorder/ax_probe.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using Node = FakeAccessibility::NodeId;
constexpr std::int32_t pid = 4242;

/// Probes with time for every request (the fake clock stands still) and nothing remembered
/// from an earlier search.
std::optional<std::string> frontURL(FakeAccessibility& ax, std::int32_t process) {
    FakeClock clock;
    WebAreaCache webAreas;
    return AXProbe::frontURL(ax, process, ProbeDeadline(clock, ProbeDeadline::operationBudgetMs),
                             webAreas);
}

std::optional<std::string> frontWindowTitle(FakeAccessibility& ax, std::int32_t process) {
    FakeClock clock;
    return AXProbe::frontWindowTitle(ax, process,
                                     ProbeDeadline(clock, ProbeDeadline::operationBudgetMs));
}

class FrontWindowTest : public ::testing::Test {
protected:
    FrontWindowTest() {
        app = ax.addApplication(pid);
        window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Inbox");
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
    }

    FakeAccessibility ax;
    Node app;
    Node window;
};

TEST_F(FrontWindowTest, TitleOfTheFocusedWindowElseTheMainWindow) {
    EXPECT_EQ(frontWindowTitle(ax, pid), "Inbox");

    const Node main = ax.addNode("AXWindow");
    ax.setText(main, "AXTitle", "Main");
    ax.set(app, "AXMainWindow", FakeAccessibility::ElementRef{main});
    ax.set(app, "AXFocusedWindow", FakeAccessibility::Failing{});
    EXPECT_EQ(frontWindowTitle(ax, pid), "Main");

    ax.setText(main, "AXTitle", "");
    EXPECT_FALSE(frontWindowTitle(ax, pid));
}

TEST_F(FrontWindowTest, NoWindowOrNoProcessGivesNeitherTitleNorAddress) {
    ax.set(app, "AXFocusedWindow", FakeAccessibility::Failing{});
    EXPECT_FALSE(frontWindowTitle(ax, pid));
    EXPECT_FALSE(frontURL(ax, pid));
    EXPECT_FALSE(frontWindowTitle(ax, 99));
    EXPECT_FALSE(frontURL(ax, 99));
}

/// One front window and what its page address should be.
struct AddressCase {
    const char* name;
    std::function<void(FakeAccessibility&, Node app, Node window)> build;
    std::optional<std::string> address;
};

/// A web area `depth` levels below `top` (1 = a child of it).
Node webAreaBelow(FakeAccessibility& ax, Node top, int depth,
                  std::optional<FakeAccessibility::Stored> url) {
    const Node area = ax.addNode("AXWebArea");
    ax.appendChild(ax.appendChain(top, depth - 1, "AXGroup"), area);
    if (url) ax.set(area, "AXURL", *url);
    return area;
}

/// A window with `tabs` tab panes before its content, each holding a page of its own.
void tabStrip(FakeAccessibility& ax, Node window, int tabs) {
    for (int i = 0; i < tabs; ++i)
        webAreaBelow(ax, ax.appendChain(window, 1, "AXGroup"), 2,
                     AXURLValue{"https://tab" + std::to_string(i) + ".example/"});
}

const AddressCase addressCases[] = {
    {"url object",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 3, AXURLValue{"https://example.com/a?b=c"});
     },
     "https://example.com/a?b=c"},
    {"empty text", [](FakeAccessibility& ax, Node, Node w) { webAreaBelow(ax, w, 1, ""); }, ""},
    {"number",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 1, AXNumber{3, "3"});
     },
     std::nullopt},
    {"breadth first",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 5, AXURLValue{"https://deep.example/"});
         webAreaBelow(ax, w, 2, AXURLValue{"https://shallow.example/"});
     },
     "https://shallow.example/"},
    {"twelve levels down",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 12, AXURLValue{"https://twelve.example/"});
     },
     "https://twelve.example/"},
    {"thirteen levels down",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 13, AXURLValue{"https://thirteen.example/"});
     },
     std::nullopt},
    {"first web area has no address",
     [](FakeAccessibility& ax, Node, Node w) {
         webAreaBelow(ax, w, 2, std::nullopt);
         webAreaBelow(ax, w, 4, AXURLValue{"https://later.example/"});
     },
     std::nullopt},
    {"window is the web area",
     [](FakeAccessibility& ax, Node, Node w) {
         ax.setText(w, "AXRole", "AXWebArea");
         ax.set(w, "AXURL", AXURLValue{"https://window.example/"});
     },
     "https://window.example/"},
    {"roleless elements are searched through",
     [](FakeAccessibility& ax, Node, Node w) {
         const Node unnamed = ax.addNode();
         ax.appendChild(w, unnamed);
         webAreaBelow(ax, unnamed, 1, AXURLValue{"https://inside.example/"});
     },
     "https://inside.example/"},
    {"embedded document before every other page",
     [](FakeAccessibility& ax, Node, Node w) {
         tabStrip(ax, w, 3);
         const Node shown = webAreaBelow(ax, w, 4, AXURLValue{"https://shown.example/"});
         ax.set(w, "AXEmbeddedDocument", FakeAccessibility::ElementRef{shown});
     },
     "https://shown.example/"},
    {"embedded document beyond the search's reach",
     [](FakeAccessibility& ax, Node, Node w) {
         for (int i = 0; i < 500; ++i)
             ax.appendChild(w, ax.addNode("AXRadioButton"));
         const Node shown = webAreaBelow(ax, w, 13, AXURLValue{"https://shown.example/"});
         ax.set(w, "AXEmbeddedDocument", FakeAccessibility::ElementRef{shown});
     },
     "https://shown.example/"},
    {"embedded element that is no web area",
     [](FakeAccessibility& ax, Node, Node w) {
         const Node image = ax.addNode("AXImage");
         ax.set(image, "AXURL", AXURLValue{"https://image.example/"});
         ax.set(w, "AXEmbeddedDocument", FakeAccessibility::ElementRef{image});
         webAreaBelow(ax, w, 2, AXURLValue{"https://searched.example/"});
     },
     "https://searched.example/"},
    {"untitled popup stands for the first titled window",
     [](FakeAccessibility& ax, Node app, Node w) {
         const Node popup = ax.addNode("AXWindow");
         ax.appendChild(app, popup);
         ax.appendChild(app, w);
         ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{popup});
         webAreaBelow(ax, w, 2, AXURLValue{"https://owner.example/"});
     },
     "https://owner.example/"},
    {"untitled window alone is searched",
     [](FakeAccessibility& ax, Node app, Node w) {
         ax.setText(w, "AXTitle", "");
         ax.appendChild(app, w);
         webAreaBelow(ax, w, 1, AXURLValue{"https://untitled.example/"});
     },
     "https://untitled.example/"},
};

TEST(FrontURL, WhichWebAreaGivesTheAddress) {
    for (const AddressCase& row : addressCases) {
        FakeAccessibility ax;
        const Node app = ax.addApplication(pid);
        const Node window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Page");
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        row.build(ax, app, window);
        EXPECT_EQ(frontURL(ax, pid), row.address) << row.name;
        (void)frontWindowTitle(ax, pid);
        EXPECT_EQ(ax.liveHandles(), 0) << row.name;
    }
}

TEST_F(FrontWindowTest, SearchExaminesAtMostFourHundredElements) {
    // The window is examined first, so its 399th child is the last element examined.
    for (int i = 1; i < 399; ++i)
        ax.appendChild(window, ax.addNode("AXGroup"));
    const Node last = ax.addNode("AXWebArea");
    ax.set(last, "AXURL", AXURLValue{"https://last.example/"});
    ax.appendChild(window, last);
    EXPECT_EQ(frontURL(ax, pid), "https://last.example/");

    FakeAccessibility wide;
    const Node wideApp = wide.addApplication(pid);
    const Node wideWindow = wide.addNode("AXWindow");
    wide.set(wideApp, "AXMainWindow", FakeAccessibility::ElementRef{wideWindow});
    for (int i = 1; i < 400; ++i)
        wide.appendChild(wideWindow, wide.addNode("AXGroup"));
    const Node beyond = wide.addNode("AXWebArea");
    wide.set(beyond, "AXURL", AXURLValue{"https://beyond.example/"});
    wide.appendChild(wideWindow, beyond);
    EXPECT_FALSE(frontURL(wide, pid));
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
    EXPECT_FALSE(frontURL(ax, pid));
    EXPECT_EQ(ax.copiesOf("AXChildren"), 1);
    EXPECT_EQ(ax.copiesOf("AXURL"), 0);
}

/// What happens between two probes of a window without a web area, and what the second gives.
struct RememberedCase {
    const char* name;
    std::function<void(FakeAccessibility&, Node app, Node window)> between;
    std::optional<std::string> address;
    bool searchedAgain;
};

const RememberedCase rememberedCases[] = {
    {"nothing changed", [](FakeAccessibility&, Node, Node) {}, std::nullopt, false},
    {"page added",
     [](FakeAccessibility& ax, Node, Node window) {
         webAreaBelow(ax, window, 1, AXURLValue{"https://added.example/"});
         ax.noteStructureChange(pid);
     },
     "https://added.example/", true},
    {"changes not watched",
     [](FakeAccessibility& ax, Node, Node) { ax.setStructureWatched(false); }, std::nullopt, true},
    {"another window",
     [](FakeAccessibility& ax, Node app, Node) {
         const Node other = ax.addNode("AXWindow");
         ax.setText(other, "AXTitle", "Other");
         ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{other});
     },
     std::nullopt, true},
};

TEST(FrontURL, WindowWithoutPageIsSearchedAgainOnlyAfterItsTreeChanges) {
    for (const RememberedCase& row : rememberedCases) {
        FakeAccessibility ax;
        const Node app = ax.addApplication(pid);
        const Node window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Editor");
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        ax.appendChain(window, 3, "AXGroup");
        FakeClock clock;
        WebAreaCache webAreas;
        const auto probe = [&] {
            return AXProbe::frontURL(
                ax, pid, ProbeDeadline(clock, ProbeDeadline::operationBudgetMs), webAreas);
        };
        ASSERT_FALSE(probe()) << row.name;
        row.between(ax, app, window);
        const int searched = ax.copiesOf("AXChildren");
        EXPECT_EQ(probe(), row.address) << row.name;
        EXPECT_EQ(ax.copiesOf("AXChildren") > searched, row.searchedAgain) << row.name;
    }
}

} // namespace
