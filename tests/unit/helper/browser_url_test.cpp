#include "helper/browser_url.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_script_runner.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using helper::browserURL;
using helper::isFirefoxBundle;
using Node = FakeAccessibility::NodeId;

constexpr std::int32_t pid = 900;

RunningApplication app(std::optional<std::string> bundleId, std::string name = "Browser") {
    return RunningApplication{std::move(name), std::move(bundleId), pid};
}

TEST(IsFirefoxBundle, TableMozillaPrefixAndExclusion) {
    for (const char* id :
         {"org.mozilla.firefox", "org.mozilla.firefoxdeveloperedition", "org.mozilla.nightly",
          "io.gitlab.librewolf-community", "net.waterfox.waterfox", "org.mozilla.floorp",
          "app.zen-browser.zen", "org.mozilla.thunderbird", "org.mozilla."}) {
        EXPECT_TRUE(isFirefoxBundle(id)) << id;
    }
    for (const char* id :
         {"org.torproject.torbrowser", "org.mozilla", "Org.mozilla.firefox", "org.Mozilla.firefox",
          "xorg.mozilla.firefox", "com.apple.Safari", "io.gitlab.librewolf", ""}) {
        EXPECT_FALSE(isFirefoxBundle(id)) << id;
    }
}

TEST(BrowserScripts, SafariAndChromiumTextsExactly) {
    FakeScriptRunner scripts;
    FakeAccessibility accessibility;
    scripts.answers["tell application \"Safari\" to return URL of front document"] =
        "https://www.apple.com/";
    EXPECT_EQ(browserURL(app("com.apple.Safari"), scripts, accessibility),
              "https://www.apple.com/");

    const std::vector<std::pair<std::string, std::string>> chromium = {
        {"com.google.Chrome", "Google Chrome"}, {"com.microsoft.edgemac", "Microsoft Edge"},
        {"com.brave.Browser", "Brave Browser"}, {"company.thebrowser.Browser", "Arc"},
        {"com.vivaldi.Vivaldi", "Vivaldi"},     {"org.chromium.Chromium", "Chromium"}};
    for (const auto& [id, name] : chromium) {
        const std::string script =
            "tell application \"" + name + "\" to return URL of active tab of front window";
        scripts.answers[script] = "https://" + name + "/";
        // The localized name of the running application plays no part.
        EXPECT_EQ(browserURL(app(id, "Localized " + id), scripts, accessibility),
                  "https://" + name + "/")
            << id;
    }
    EXPECT_EQ(accessibility.copiesOf("AXFocusedWindow"), 0);
}

TEST(BrowserScripts, ArcIsAddressedByItsTableName) {
    FakeScriptRunner scripts;
    FakeAccessibility accessibility;
    (void)browserURL(app("company.thebrowser.Browser", "Arc Browser"), scripts, accessibility);
    ASSERT_EQ(scripts.sources.size(), 1u);
    EXPECT_EQ(scripts.sources[0],
              "tell application \"Arc\" to return URL of active tab of front window");
}

TEST(BrowserScripts, ResultIsReturnedAsGivenAndFailuresGiveNothing) {
    FakeScriptRunner scripts;
    FakeAccessibility accessibility;
    EXPECT_EQ(browserURL(app("com.google.Chrome"), scripts, accessibility), std::nullopt);
    scripts.answers[helper::chromiumScript("Google Chrome")] = "";
    EXPECT_EQ(browserURL(app("com.google.Chrome"), scripts, accessibility), "");
    scripts.answers[helper::chromiumScript("Google Chrome")] = "  not a url ";
    EXPECT_EQ(browserURL(app("com.google.Chrome"), scripts, accessibility), "  not a url ");
}

TEST(BrowserURL, OtherApplicationsAreNeverAsked) {
    FakeScriptRunner scripts;
    FakeAccessibility accessibility;
    accessibility.addApplication(pid);
    for (const auto& id : std::vector<std::optional<std::string>>{
             std::nullopt, "com.apple.SafariTechnologyPreview", "com.apple.Notes",
             "org.torproject.torbrowser", "com.google.chrome"}) {
        EXPECT_EQ(browserURL(app(id), scripts, accessibility), std::nullopt);
    }
    EXPECT_TRUE(scripts.sources.empty());
    EXPECT_EQ(accessibility.copiesOf("AXFocusedWindow"), 0);
    EXPECT_TRUE(accessibility.timeoutsSet().empty());
}

/// A Firefox-like process: application → focused window → toolbar and content.
class FirefoxTree : public ::testing::Test {
protected:
    FirefoxTree() {
        appNode = ax.addApplication(pid);
        window = ax.addNode("AXWindow");
        ax.set(appNode, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        const Node toolbar = ax.addNode("AXToolbar");
        ax.appendChild(window, toolbar);
        ax.appendChild(toolbar, ax.addNode("AXTextField"));
        content = ax.addNode("AXGroup");
        ax.appendChild(window, content);
    }

    std::optional<std::string> url() { return browserURL(app("org.mozilla.firefox"), scripts, ax); }

    FakeAccessibility ax;
    FakeScriptRunner scripts;
    Node appNode{}, window{}, content{};
};

TEST_F(FirefoxTree, ReadsTheWebAreaURLWithTheShortTimeout) {
    const Node area = ax.addNode("AXWebArea");
    ax.appendChild(content, area);
    ax.set(area, "AXURL", AXURLValue{"https://developer.mozilla.org/en-US/"});
    EXPECT_EQ(url(), "https://developer.mozilla.org/en-US/");
    ASSERT_EQ(ax.timeoutsSet().size(), 1u);
    EXPECT_EQ(ax.timeoutsSet()[0].node, appNode);
    EXPECT_FLOAT_EQ(ax.timeoutsSet()[0].seconds, 0.2f);
    EXPECT_TRUE(scripts.sources.empty());
    EXPECT_EQ(ax.liveHandles(), 0);
}

TEST_F(FirefoxTree, URLValueForms) {
    const Node area = ax.addNode("AXWebArea");
    ax.appendChild(content, area);
    ax.setText(area, "AXURL", "");
    EXPECT_EQ(url(), "");
    ax.setText(area, "AXURL", "about:blank");
    EXPECT_EQ(url(), "about:blank");
    ax.setNumber(area, "AXURL", 1, "1");
    EXPECT_EQ(url(), std::nullopt);
    ax.set(area, "AXURL", FakeAccessibility::Failing{});
    EXPECT_EQ(url(), std::nullopt);
}

TEST_F(FirefoxTree, MainWindowWhenNoWindowIsFocused) {
    ax.set(appNode, "AXFocusedWindow", AXOtherValue{});
    const Node main = ax.addNode("AXWebArea");
    ax.set(main, "AXURL", AXURLValue{"https://main.example/"});
    ax.set(appNode, "AXMainWindow", FakeAccessibility::ElementRef{main});
    EXPECT_EQ(url(), "https://main.example/");

    ax.set(appNode, "AXMainWindow", FakeAccessibility::Failing{});
    EXPECT_EQ(url(), std::nullopt);
}

TEST_F(FirefoxTree, OnlyTheFirstWebAreaIsTried) {
    const Node first = ax.addNode("AXWebArea"); // breadth-first: found before the deeper one
    ax.appendChild(content, first);
    const Node inner = ax.addNode("AXWebArea");
    ax.appendChild(first, inner);
    ax.set(inner, "AXURL", AXURLValue{"https://frame.example/"});
    EXPECT_EQ(url(), std::nullopt);
}

/// A web area holding `address`, appended under `parent`.
Node pageUnder(FakeAccessibility& ax, Node parent, const std::string& address) {
    const Node area = ax.addNode("AXWebArea");
    ax.set(area, "AXURL", AXURLValue{address});
    ax.appendChild(parent, area);
    return area;
}

TEST(FirefoxWindow, TheShownDocumentAndTheWindowAPopupBelongsTo) {
    struct Case {
        const char* name;
        void (*build)(FakeAccessibility&, Node app, Node window);
        std::optional<std::string> address;
    };
    const Case cases[] = {
        {"embedded document before a hidden tab's",
         [](FakeAccessibility& ax, Node, Node window) {
             pageUnder(ax, window, "https://hidden.example/");
             const Node shown =
                 pageUnder(ax, ax.appendChain(window, 3, "AXGroup"), "https://shown.example/");
             ax.set(window, "AXEmbeddedDocument", FakeAccessibility::ElementRef{shown});
         },
         "https://shown.example/"},
        {"embedded document past the element budget",
         [](FakeAccessibility& ax, Node, Node window) {
             for (int i = 0; i < 300; ++i)
                 ax.appendChild(window, ax.addNode("AXRadioButton"));
             const Node shown = pageUnder(ax, window, "https://shown.example/");
             ax.set(window, "AXEmbeddedDocument", FakeAccessibility::ElementRef{shown});
         },
         "https://shown.example/"},
        {"untitled popup stands for the first titled window",
         [](FakeAccessibility& ax, Node app, Node window) {
             const Node popup = ax.addNode("AXWindow");
             ax.setText(popup, "AXTitle", "");
             ax.appendChild(app, ax.addNode("AXMenuBar"));
             ax.appendChild(app, popup);
             ax.appendChild(app, window);
             ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{popup});
             pageUnder(ax, window, "https://owner.example/");
         },
         "https://owner.example/"},
    };
    for (const Case& row : cases) {
        FakeAccessibility ax;
        FakeScriptRunner scripts;
        const Node appNode = ax.addApplication(pid);
        const Node window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Firefox");
        ax.set(appNode, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        row.build(ax, appNode, window);
        EXPECT_EQ(browserURL(app("org.mozilla.firefox"), scripts, ax), row.address) << row.name;
        EXPECT_EQ(ax.liveHandles(), 0) << row.name;
    }
}

TEST_F(FirefoxTree, AnotherMozillaApplicationIsSearchedButTorIsNot) {
    const Node area = ax.addNode("AXWebArea");
    ax.appendChild(content, area);
    ax.set(area, "AXURL", AXURLValue{"https://addons.thunderbird.net/"});
    EXPECT_EQ(browserURL(app("org.mozilla.thunderbird"), scripts, ax),
              "https://addons.thunderbird.net/");
    const int copiesBefore = ax.copiesOf("AXFocusedWindow");
    EXPECT_EQ(browserURL(app("org.torproject.torbrowser"), scripts, ax), std::nullopt);
    EXPECT_EQ(ax.copiesOf("AXFocusedWindow"), copiesBefore);
}

TEST_F(FirefoxTree, ProcessWithoutAccessibilityObjectGivesNothing) {
    RunningApplication other = app("org.mozilla.firefox");
    other.processIdentifier = pid + 1;
    EXPECT_EQ(browserURL(other, scripts, ax), std::nullopt);
}

/// A handle on `node`, obtained the way the helper obtains windows.
AXElement handleOf(FakeAccessibility& ax, Node node) {
    const Node appNode = ax.addApplication(pid);
    ax.set(appNode, "AXFocusedWindow", FakeAccessibility::ElementRef{node});
    return helper::axElementAttribute(ax, ax.application(pid), "AXFocusedWindow");
}

/// A window with a chain of `depth` groups below it, the last of them a web area.
std::optional<Node> webAreaFoundAtDepth(int depth) {
    FakeAccessibility ax;
    const Node window = ax.addNode("AXWindow");
    const Node deepest = ax.appendChain(window, depth, "AXGroup");
    ax.setText(deepest, "AXRole", "AXWebArea");
    return ax.nodeOf(helper::findWebArea(ax, handleOf(ax, window)));
}

TEST(FindWebArea, DepthTwelveIsFoundAndThirteenIsNot) {
    EXPECT_TRUE(webAreaFoundAtDepth(1));
    EXPECT_TRUE(webAreaFoundAtDepth(12));
    EXPECT_FALSE(webAreaFoundAtDepth(13));
}

/// A window whose children are `before` plain elements, then the web area.
std::optional<Node> webAreaFoundAfter(int before, int* roleReads) {
    FakeAccessibility ax;
    const Node window = ax.addNode("AXWindow");
    for (int i = 0; i < before; ++i)
        ax.appendChild(window, ax.addNode("AXStaticText"));
    ax.appendChild(window, ax.addNode("AXWebArea"));
    const auto windowHandle = handleOf(ax, window);
    const int readsBefore = ax.copiesOf("AXRole");
    auto found = ax.nodeOf(helper::findWebArea(ax, windowHandle));
    *roleReads = ax.copiesOf("AXRole") - readsBefore;
    return found;
}

TEST(FindWebArea, AtMostTwoHundredFiftyElementsAreExamined) {
    int roleReads = 0;
    // Window + 248 elements before it: the web area is the 250th element examined.
    EXPECT_TRUE(webAreaFoundAfter(248, &roleReads));
    EXPECT_EQ(roleReads, 250);
    // One more element in front of it: the budget runs out first.
    EXPECT_FALSE(webAreaFoundAfter(249, &roleReads));
    EXPECT_EQ(roleReads, 250);
}

TEST(FindWebArea, ChildrenThatCouldNeverBeExaminedAreNotFetched) {
    FakeAccessibility ax;
    const Node window = ax.addNode("AXWindow");
    for (int i = 0; i < 300; ++i) {
        const Node row = ax.addNode("AXRow");
        ax.appendChild(window, row);
        ax.appendChild(row, ax.addNode("AXWebArea"));
    }
    const auto windowHandle = handleOf(ax, window);
    const int fetchesBefore = ax.copiesOf("AXChildren");
    EXPECT_FALSE(helper::findWebArea(ax, windowHandle));
    // The window's 300 rows already fill the budget; no row's children can be reached.
    EXPECT_EQ(ax.copiesOf("AXChildren") - fetchesBefore, 1);

    // With room left, children are still fetched and searched.
    FakeAccessibility small;
    const Node top = small.addNode("AXWindow");
    Node last = top;
    for (int i = 0; i < 240; ++i) {
        last = small.addNode("AXRow");
        small.appendChild(top, last);
    }
    const Node area = small.addNode("AXWebArea");
    small.appendChild(last, area);
    EXPECT_EQ(small.nodeOf(helper::findWebArea(small, handleOf(small, top))), area);
}

TEST(AttributeReaders, ReadOnlyValuesOfTheirKind) {
    FakeAccessibility ax;
    const Node node = ax.addNode("AXGroup");
    const Node other = ax.addNode("AXButton");
    ax.setText(node, "AXTitle", "");
    ax.setNumber(node, "AXValue", 3, "3");
    ax.set(node, "AXParent", FakeAccessibility::ElementRef{other});
    ax.set(node, "AXChildren", AXOtherValue{});
    const auto element = handleOf(ax, node);
    ASSERT_TRUE(element);

    EXPECT_EQ(helper::axStringAttribute(ax, element, "AXTitle"), "");
    EXPECT_EQ(helper::axStringAttribute(ax, element, "AXValue"), std::nullopt);
    EXPECT_EQ(helper::axStringAttribute(ax, element, "AXMissing"), std::nullopt);
    EXPECT_EQ(ax.nodeOf(helper::axElementAttribute(ax, element, "AXParent")), other);
    EXPECT_FALSE(helper::axElementAttribute(ax, element, "AXTitle"));
    EXPECT_TRUE(helper::axChildren(ax, element).empty());
}

} // namespace
