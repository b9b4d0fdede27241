// The accessibility probes: the element under a point, the front window's title and page
// address, and the deadline one operation's probes share.
#include "recorder/ax_probe.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Node = FakeAccessibility::NodeId;
using Ref = FakeAccessibility::ElementRef;
constexpr std::int32_t pid = 4242;
// The tree every case starts from: the application's focused window "Invoice" holds a group,
// whose button is under the point. `added` is the newest node an edit added.
constexpr Node app = 1, window = 2, group = 3, element = 4, added = -1;

/// One change to the tree: an attribute of `node` set; with "+", `count` children of role
/// `value` added to `node`, each titled with the rest of the attribute; with ">",
/// a chain of them; with "=", the attribute named by the rest made the newest node.
struct Edit {
    Node node;
    std::string attribute;
    FakeAccessibility::Stored value = std::string();
    int count = 1;
};

using Edits = std::vector<Edit>;

struct Tree {
    explicit Tree(const Edits& edits) {
        ax.addApplication(pid);
        ax.appendChain(ax.appendChain(ax.addNode("AXWindow"), 1, "AXGroup"), 1, "AXButton");
        ax.setText(window, "AXTitle", "Invoice");
        ax.set(app, "AXFocusedWindow", Ref{window});
        ax.elementAtPoint = element;
        Node last = element;
        for (const Edit& edit : edits) {
            const Node node = edit.node == added ? last : edit.node;
            const char kind = edit.attribute.empty() ? ' ' : edit.attribute[0];
            if (kind == '=') ax.set(node, edit.attribute.substr(1), Ref{last});
            if (kind != '+' && kind != '>') {
                if (kind != '=') ax.set(node, edit.attribute, edit.value);
                continue;
            }
            for (int i = 0; i < edit.count; ++i) {
                const Node parent = kind == '>' && i > 0 ? last : node;
                last = ax.addNode(std::get<std::string>(edit.value));
                ax.appendChild(parent, last);
                if (edit.attribute.size() > 1)
                    ax.setText(last, "AXTitle", edit.attribute.substr(1));
            }
        }
    }
    /// With time to read everything: the fake clock stands still.
    ProbeDeadline deadline() { return ProbeDeadline(clock, ProbeDeadline::operationBudgetMs); }
    std::optional<AXTarget> probe() {
        return AXProbe::elementAt(ax, {120.5, 40.25}, 77, deadline());
    }
    std::optional<std::string> url() { return AXProbe::frontURL(ax, pid, deadline(), webAreas); }
    std::optional<std::string> title() {
        return AXProbe::frontWindowOf(ax, pid, deadline(), webAreas).title;
    }

    FakeAccessibility ax;
    FakeClock clock;
    WebAreaCache webAreas;
};

/// Edits adding a web area `depth` levels below `top` with `address` (none when absent).
Edits page(Node top, int depth, std::optional<FakeAccessibility::Stored> address) {
    Edits edits{{top, ">", "AXGroup", depth - 1}, {added, "+", "AXWebArea"}};
    if (depth == 1) edits.erase(edits.begin()), edits[0].node = top;
    if (address) edits.push_back({added, "AXURL", *address});
    return edits;
}

Edits operator+(Edits a, const Edits& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// The path, then each field that is present.
std::string describe(const std::optional<AXTarget>& target) {
    if (!target) return "none";
    std::string out;
    for (const auto& role : target->path)
        out += (out.empty() ? "" : ">") + role;
    for (const auto& [name, value] : {std::pair{" role=", target->role},
                                      {" label=", target->label},
                                      {" id=", target->identifier},
                                      {" window=", target->windowTitle}})
        if (value) out += name + *value;
    for (std::size_t i = 0; i < target->nearbyText.size(); ++i)
        out += (i ? "," : " near=") + target->nearbyText[i];
    return out + (target->secure ? " secure" : "");
}

TEST(ElementAt, DescribesTheElementUnderThePoint) {
    const std::string button = "AXWindow>AXGroup>AXButton role=AXButton";
    const struct {
        const char* name;
        Edits edits;
        std::string described;
    } cases[] = {
        {"secure field: no label, everything else kept",
         {{group, "+Password:", "AXStaticText"},
          {element, "AXRole", "AXTextField"},
          {element, "AXSubrole", "AXSecureTextField"},
          {element, "AXTitle", "Password"},
          {element, "AXIdentifier", "pw"}},
         "AXWindow>AXGroup>AXTextField role=AXTextField id=pw "
         "window=Invoice near=Password,Password: secure"},
        {"cyclic parents end after twenty",
         {{window, "AXParent", Ref{element}}},
         "AXGroup>AXButton>AXWindow>AXGroup>AXButton>AXWindow>AXGroup>AXButton>AXWindow>AXGroup>A"
         "XButton>AXWindow>AXGroup>AXButton>AXWindow>AXGroup>AXButton>AXWindow>AXGroup>AXButton "
         "role=AXButton window=Invoice"},
        {"a parent that is not an element ends the path",
         {{element, "AXParent", "text"}},
         "AXButton role=AXButton"},
        {"only the first eight siblings",
         {{group, "+", "AXGroup", 7}, {group, "+late", "AXStaticText", 4}},
         button + " window=Invoice"},
    };
    for (const auto& c : cases) {
        Tree tree(c.edits);
        EXPECT_EQ(describe(tree.probe()), c.described) << c.name;
        EXPECT_EQ(tree.ax.liveHandles(), 0) << c.name;
    }
}

// A value labels only an element of a display role that the person cannot type into; the
// port tells (settable 1 or 0), and where it cannot, the value is left out.
TEST(ElementAt, ValueIsALabelOnlyWhereNobodyTypesIt) {
    const AXNumber yes{1, "1"}, no{0, "0"};
    const struct {
        const char* role;
        const char* subrole;
        FakeAccessibility::Stored value;
        std::optional<AXNumber> settable;
        bool editableAncestor;
        std::optional<std::string> label;
    } cases[] = {
        {"AXStaticText", "", "typed 4711", no, false, "typed 4711"},
        {"AXStaticText", "", "typed 4711", std::nullopt, false, std::nullopt},
        {"AXStaticText", "", "typed 4711", yes, false, std::nullopt},
        {"AXStaticText", "", "typed 4711", no, true, std::nullopt}, // inside editable content
        {"AXCheckBox", "", AXNumber{1, "1"}, yes, false, "1"},
        {"AXSlider", "", AXNumber{40, "40"}, yes, false, "40"},
        {"AXIncrementor", "", AXNumber{4711, "4711"}, yes, false, std::nullopt},
        {"AXCell", "", "typed 4711", no, false, std::nullopt},
        {"AXTextField", "", "typed 4711", no, false, std::nullopt},
        {"AXTextArea", "", "typed 4711", no, false, std::nullopt},
        {"AXComboBox", "", "typed 4711", no, false, std::nullopt},
        {"AXStaticText", "AXSearchField", "typed 4711", no, false, std::nullopt},
        {"AXGroup", "", "typed 4711", no, true, std::nullopt}, // editable web content
    };
    for (const auto& c : cases) {
        Tree tree({{element, "AXRole", c.role},
                   {element, "AXSubrole", c.subrole},
                   {element, "AXValue", c.value}});
        if (c.settable) tree.ax.set(element, std::string(valueSettableAttribute), *c.settable);
        if (c.editableAncestor) tree.ax.set(element, "AXEditableAncestor", Ref{group});
        EXPECT_EQ(tree.probe()->label, c.label) << c.role;
        // A name or description still labels a text field.
        tree.ax.setText(element, "AXDescription", "Amount");
        EXPECT_EQ(tree.probe()->label, "Amount") << c.role;
    }
}

// A label, an image or a box inside a control is the control; a select's closed list is the
// select; anything else is itself.
TEST(ElementAt, WhatAControlShowsIsTheControl) {
    const struct {
        const char* name;
        std::vector<std::string> below; ///< roles from below the tree's group down to the hit
        const char* role;
    } cases[] = {
        {"label in a button", {"AXButton", "AXStaticText"}, "AXButton"},
        {"label in a box in a button", {"AXButton", "AXGroup", "AXStaticText"}, "AXButton"},
        {"image in a link", {"AXLink", "AXImage"}, "AXLink"},
        {"label in a tab", {"AXRadioButton", "AXStaticText"}, "AXRadioButton"},
        {"label in a list item", {"AXRow", "AXGroup", "AXStaticText"}, "AXRow"},
        {"closed list of a select", {"AXPopUpButton", "AXMenu"}, "AXPopUpButton"},
        {"label in a form", {"AXGroup", "AXStaticText"}, "AXStaticText"},
        {"beyond a control's content",
         {"AXButton", "AXGroup", "AXGroup", "AXGroup", "AXImage"},
         "AXImage"},
        {"list of a form", {"AXList"}, "AXList"},
    };
    for (const auto& c : cases) {
        Tree tree({});
        Node hit = group;
        for (const std::string& role : c.below)
            hit = tree.ax.appendChain(hit, 1, role);
        tree.ax.elementAtPoint = hit;
        EXPECT_EQ(tree.probe()->role, c.role) << c.name;
    }
}

// An element a typing run went to while it had the focus is named by nothing it shows: a
// table cell's title is its text. A text field's title is its caption and still labels it.
TEST(ElementAt, AnElementTypedIntoIsNotNamedAfterItsText) {
    for (const char* role : {"AXCell", "AXTextField"}) {
        Tree tree({{element, "AXRole", role},
                   {element, "AXTitle", "typed 4711"},
                   {group, "+Total", "AXStaticText"}});
        const Node sibling = tree.ax.addNode("AXCell");
        tree.ax.setText(sibling, "AXTitle", "typed 4711");
        tree.ax.appendChild(group, sibling);
        TypedElements typed;
        const auto probe = [&](AXProbe::TypingTarget typing) {
            const ProbeDeadline deadline = tree.deadline();
            return AXProbe::elementAt(tree.ax, {5, 5}, pid, deadline, std::nullopt, nullptr, &typed,
                                      typing);
        };
        // Not focused: a run's target read away from the caret is not taken for it.
        EXPECT_EQ(probe(AXProbe::TypingTarget::yes)->label, "typed 4711") << role;
        tree.ax.set(element, "AXFocused", AXNumber{1, "1"});
        tree.ax.set(sibling, "AXFocused", AXNumber{1, "1"});
        probe(AXProbe::TypingTarget::yes);
        tree.ax.elementAtPoint = sibling;
        probe(AXProbe::TypingTarget::yes);
        tree.ax.elementAtPoint = element;
        const auto target = probe(AXProbe::TypingTarget::no);
        EXPECT_EQ(target->label, std::string(role) == "AXCell"
                                     ? std::nullopt
                                     : std::optional<std::string>("typed 4711"));
        EXPECT_EQ(target->nearbyText, std::vector<std::string>{"Total"}) << role;
        EXPECT_EQ(tree.ax.liveHandles(), 2) << role; // the two elements typed into
    }
}

TEST(FrontWindow, TitleAndPageAddress) {
    const struct {
        const char* name;
        Edits edits;
        std::optional<std::string> title, address;
    } cases[] = {
        {"empty text", page(window, 1, ""), "Invoice", ""},
        {"number", page(window, 1, AXNumber{3, "3"}), "Invoice", {}},
        {"twelve levels down", page(window, 12, "https://12/"), "Invoice", "https://12/"},
        {"thirteen levels down", page(window, 13, "https://13/"), "Invoice", {}},
        {"embedded document first, even beyond the search's reach",
         page(window, 1, "https://tab/") + page(window, 13, "https://shown/") +
             Edits{{window, "=AXEmbeddedDocument"}},
         "Invoice", "https://shown/"},
        {"untitled window alone is searched",
         Edits{{window, "AXTitle", ""}} + page(group, 1, "https://untitled/"), std::nullopt,
         "https://untitled/"},
        {"no window", {{app, "AXFocusedWindow", FakeAccessibility::Failing{}}}, {}, {}},
        {"the 400th element examined",
         Edits{{window, "+", "AXGroup", 397}} + page(window, 1, "https://400/"), "Invoice",
         "https://400/"},
        {"the 401st not", Edits{{window, "+", "AXGroup", 398}} + page(window, 1, "https://401/"),
         "Invoice", std::nullopt},
    };
    for (const auto& c : cases) {
        Tree tree(c.edits);
        EXPECT_EQ(tree.url(), c.address) << c.name;
        EXPECT_EQ(tree.title(), c.title) << c.name;
        tree.webAreas = {}; // it keeps the windows found without a page
        EXPECT_EQ(tree.ax.liveHandles(), 0) << c.name;
    }
}

TEST(FrontWindow, ChildrenBeyondTheElementBudgetAreNotFetched) {
    // The window and 399 of its children fill the budget: no child's children are worth asking for.
    Tree tree({{window, "+", "AXGroup", 450}});
    EXPECT_FALSE(tree.url());
    EXPECT_EQ(tree.ax.copiesOf("AXChildren"), 1);
}

TEST(FrontWindow, WindowWithoutPageIsSearchedAgainOnlyAfterItsTreeChanges) {
    const struct {
        const char* name;
        std::function<void(FakeAccessibility&)> between;
        std::optional<std::string> address;
        bool searchedAgain;
    } cases[] = {
        {"nothing changed", [](FakeAccessibility&) {}, std::nullopt, false},
        {"page added",
         [](FakeAccessibility& ax) {
             ax.set(ax.appendChain(window, 1, "AXWebArea"), "AXURL", AXURLValue{"https://added/"});
             ++ax.treeChanges[pid];
         },
         "https://added/", true},
        {"changes not watched", [](FakeAccessibility& ax) { ax.treeWatched = false; }, {}, true},
        {"another window",
         [](FakeAccessibility& ax) { ax.set(app, "AXFocusedWindow", Ref{ax.addNode("AXWindow")}); },
         std::nullopt, true},
    };
    for (const auto& c : cases) {
        Tree tree({});
        ASSERT_FALSE(tree.url()) << c.name;
        c.between(tree.ax);
        const int searched = tree.ax.copiesOf("AXChildren");
        EXPECT_EQ(tree.url(), c.address) << c.name;
        EXPECT_EQ(tree.ax.copiesOf("AXChildren") > searched, c.searchedAgain) << c.name;
    }
}

// One operation's probes share one deadline: what is read in time is kept, nothing is asked
// after it, and no request may wait longer than the time left.
TEST(ProbeDeadline, OneOperationsProbesEndWithinTheBudget) {
    constexpr std::int64_t unanswered = 60'000, slow = ProbeDeadline::operationBudgetMs / 8;
    const std::string button = "AXWindow>AXGroup>AXButton role=AXButton label=Save window=Invoice";
    const struct {
        const char* name;
        /// Milliseconds a request takes, unless its timeout ends it first.
        std::function<std::int64_t(std::string_view request)> takes;
        std::string described;
        std::optional<std::string> url;
    } cases[] = {
        {"answers at once", [](std::string_view) { return 1; }, button + " near=Save",
         "https://page/"},
        // Lookup, role, subrole, title, position, size, identifier and role description take
        // the budget: the rest is never asked; the role read already starts the path.
        {"slow application", [](std::string_view) { return slow; },
         "AXButton role=AXButton label=Save", std::nullopt},
        {"hung at the point",
         [](std::string_view r) { return r == "AXElementAtPosition" ? unanswered : 1; }, "none",
         "https://page/"},
        {"hung page", [](std::string_view r) { return r == "AXURL" ? unanswered : 1; },
         button + " near=Save", std::nullopt},
    };
    for (const auto& c : cases) {
        Tree tree({{element, "AXTitle", "Save"},
                   {window, "+", "AXWebArea"},
                   {added, "AXURL", "https://page/"}});
        FakeAccessibility& ax = tree.ax;
        const std::int64_t start = tree.clock.nowMs();
        const ProbeDeadline deadline = tree.deadline();
        bool askedAfterTheDeadline = false;
        ax.onRequest = [&](Node, std::string_view request) {
            askedAfterTheDeadline |= deadline.spent();
            // The timeout last set ends a request that is not answered sooner.
            const std::int64_t timeout = std::lround(ax.timeoutsSet().back().seconds * 1000.0f);
            const std::int64_t answer = c.takes(request);
            tree.clock.advance(std::min(answer, timeout));
            return answer <= timeout;
        };
        EXPECT_EQ(describe(AXProbe::elementAt(ax, {5, 5}, pid, deadline)), c.described) << c.name;
        EXPECT_EQ(AXProbe::frontURL(ax, pid, deadline, tree.webAreas), c.url) << c.name;
        EXPECT_FALSE(askedAfterTheDeadline) << c.name;
        EXPECT_LE(tree.clock.nowMs() - start, ProbeDeadline::operationBudgetMs) << c.name;
        ASSERT_FALSE(ax.timeoutsSet().empty()) << c.name;
        // The element is looked up in its application, with the lookup's timeout.
        EXPECT_EQ(ax.timeoutsSet().front().node, app) << c.name;
        for (const auto& set : ax.timeoutsSet())
            EXPECT_LE(set.seconds, 0.3f) << c.name;
    }
}

} // namespace
