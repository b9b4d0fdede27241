// The page address: scripts for Safari and the Chromium family, a bounded accessibility
// search for the Firefox family, nothing for any other application.
#include "helper/browser_url.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_script_runner.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using helper::browserURL;
using Node = FakeAccessibility::NodeId;
using Ref = FakeAccessibility::ElementRef;

constexpr std::int32_t pid = 900;

RunningApplication app(std::optional<std::string> bundleId) {
    return RunningApplication{"Localized name", std::move(bundleId), pid};
}

TEST(BrowserURL, ScriptOfSafariOrAChromiumBrowserByBundleIdAndNoneForOtherApplications) {
    const std::string tab = "\" to return URL of active tab of front window";
    const struct {
        std::optional<std::string> bundleId;
        std::string script; ///< the one script run, if any
        std::optional<std::string> answer;
    } cases[] = {
        {"com.apple.Safari", "tell application \"Safari\" to return URL of front document",
         "https://www.apple.com/"},
        {"com.google.Chrome", "tell application \"Google Chrome" + tab, "  not a url "},
        {std::nullopt, "", std::nullopt},
        {"com.apple.SafariTechnologyPreview", "", std::nullopt},
        {"org.torproject.torbrowser", "", std::nullopt},
    };
    for (const auto& [bundleId, script, answer] : cases) {
        FakeScriptRunner scripts;
        FakeAccessibility ax;
        ax.addApplication(pid);
        if (answer) scripts.answers[script] = *answer;
        EXPECT_EQ(browserURL(app(bundleId), scripts, ax), answer) << script;
        EXPECT_EQ(scripts.sources,
                  script.empty() ? std::vector<std::string>{} : std::vector<std::string>{script});
        EXPECT_EQ(ax.copiesOf("AXFocusedWindow"), 0) << script;
    }
}

/// A web area holding `address`, appended under `parent`.
Node pageUnder(FakeAccessibility& ax, Node parent, FakeAccessibility::Stored address) {
    const Node area = ax.addNode("AXWebArea");
    ax.set(area, "AXURL", std::move(address));
    ax.appendChild(parent, area);
    return area;
}

/// The address of a Firefox-family process whose focused window `build` fills; every search
/// sets the short timeout on the application and leaves no handle open.
std::optional<std::string>
firefoxURL(const std::function<void(FakeAccessibility&, Node app, Node window)>& build) {
    FakeAccessibility ax;
    FakeScriptRunner scripts;
    const Node appNode = ax.addApplication(pid);
    const Node window = ax.addNode("AXWindow");
    ax.setText(window, "AXTitle", "Firefox");
    ax.set(appNode, "AXFocusedWindow", Ref{window});
    build(ax, appNode, window);
    const auto url = browserURL(app("org.mozilla.thunderbird"), scripts, ax);
    EXPECT_EQ(ax.timeoutsSet().size(), 1u);
    EXPECT_EQ(ax.timeoutsSet().at(0).node, appNode);
    EXPECT_FLOAT_EQ(ax.timeoutsSet().at(0).seconds, 0.2f);
    EXPECT_TRUE(scripts.sources.empty());
    EXPECT_EQ(ax.liveHandles(), 0);
    return url;
}

TEST(BrowserURL, FirefoxFamilyReadsAWebAreaURLOfTextOrURLKind) {
    const std::pair<FakeAccessibility::Stored, std::optional<std::string>> values[] = {
        {AXURLValue{"https://a.example/"}, "https://a.example/"},
        {"", ""},
        {AXNumber{1, "1"}, std::nullopt}};
    for (const auto& [value, address] : values) {
        EXPECT_EQ(firefoxURL([&, &stored = value](auto& ax, Node, Node window) {
                      pageUnder(ax, ax.appendChain(window, 2, "AXGroup"), stored);
                  }),
                  address);
    }
}

TEST(BrowserURL, FirefoxFamilyReadsTheShownDocumentOfTheFocusedOrMainWindow) {
    const AXURLValue url{"https://shown.example/"};
    const struct {
        const char* name;
        std::function<void(FakeAccessibility&, Node app, Node window)> build;
        std::optional<std::string> address;
    } cases[] = {
        {"only the first web area is tried",
         [&](FakeAccessibility& ax, Node, Node window) {
             pageUnder(ax, pageUnder(ax, window, AXOtherValue{}), url);
         },
         std::nullopt},
        {"main window when none is focused",
         [&](FakeAccessibility& ax, Node app, Node) {
             ax.set(app, "AXFocusedWindow", AXOtherValue{});
             ax.set(app, "AXMainWindow", Ref{pageUnder(ax, ax.addNode("AXGroup"), url)});
         },
         url.absoluteString},
        {"embedded document before a hidden tab's, and past the element budget",
         [&](FakeAccessibility& ax, Node, Node window) {
             pageUnder(ax, window, AXURLValue{"https://hidden.example/"});
             for (int i = 0; i < 300; ++i)
                 ax.appendChild(window, ax.addNode("AXRadioButton"));
             const Node shown = pageUnder(ax, ax.appendChain(window, 3, "AXGroup"), url);
             ax.set(window, "AXEmbeddedDocument", Ref{shown});
         },
         url.absoluteString},
        {"untitled popup stands for the first titled window",
         [&](FakeAccessibility& ax, Node app, Node window) {
             const Node popup = ax.addNode("AXWindow");
             ax.setText(popup, "AXTitle", "");
             ax.appendChild(app, ax.addNode("AXMenuBar"));
             ax.appendChild(app, popup);
             ax.appendChild(app, window);
             ax.set(app, "AXFocusedWindow", Ref{popup});
             pageUnder(ax, window, url);
         },
         url.absoluteString},
    };
    for (const auto& row : cases)
        EXPECT_EQ(firefoxURL(row.build), row.address) << row.name;
}

/// Whether the search from a window finds the web area `build` places, and the roles and
/// child lists it read on the way.
struct Search {
    bool found;
    int roleReads;
    int childFetches;
};

Search search(const std::function<void(FakeAccessibility&, Node window)>& build) {
    FakeAccessibility ax;
    const Node window = ax.addNode("AXWindow");
    build(ax, window);
    ax.set(ax.addApplication(pid), "AXFocusedWindow", Ref{window});
    const auto handle = helper::axElementAttribute(ax, ax.application(pid), "AXFocusedWindow");
    const int roles = ax.copiesOf("AXRole"), children = ax.copiesOf("AXChildren");
    const bool found = static_cast<bool>(helper::findWebArea(ax, handle));
    return {found, ax.copiesOf("AXRole") - roles, ax.copiesOf("AXChildren") - children};
}

TEST(FindWebArea, TwelveLevelsDeepAndTwoHundredFiftyElementsAtMost) {
    const auto chain = [](int depth) {
        return [depth](FakeAccessibility& ax, Node window) {
            ax.setText(ax.appendChain(window, depth, "AXGroup"), "AXRole", "AXWebArea");
        };
    };
    EXPECT_TRUE(search(chain(12)).found);
    EXPECT_FALSE(search(chain(13)).found);

    // The window and 248 elements before the web area: it is the 250th examined.
    for (int before : {248, 249}) {
        const auto result = search([before](FakeAccessibility& ax, Node window) {
            for (int i = 0; i < before; ++i)
                ax.appendChild(window, ax.addNode("AXStaticText"));
            ax.appendChild(window, ax.addNode("AXWebArea"));
        });
        EXPECT_EQ(result.found, before == 248);
        EXPECT_EQ(result.roleReads, 250);
    }

    // The window's rows fill the budget, so no row's children are fetched; with room left,
    // they are.
    for (int rows : {300, 240}) {
        const auto result = search([rows](FakeAccessibility& ax, Node window) {
            for (int i = 0; i < rows; ++i) {
                const Node row = ax.addNode("AXRow");
                ax.appendChild(window, row);
                if (rows == 300 || i == rows - 1) ax.appendChild(row, ax.addNode("AXWebArea"));
            }
        });
        EXPECT_EQ(result.found, rows == 240);
        EXPECT_EQ(result.childFetches == 1, rows == 300);
    }
}

} // namespace
