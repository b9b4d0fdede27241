// The element under a point: labels, the ancestor path, nearby text, secure fields, frames.
#include "recorder/ax_probe.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"

#include <gtest/gtest.h>

namespace {

using Node = FakeAccessibility::NodeId;

/// The element at `point`, with time to read all of it (the fake clock stands still).
std::optional<AXTarget> elementAt(FakeAccessibility& ax, geo::Point point) {
    FakeClock clock;
    return AXProbe::elementAt(ax, point, 77,
                              ProbeDeadline(clock, ProbeDeadline::operationBudgetMs));
}

class ElementAtTest : public ::testing::Test {
protected:
    /// A window holding a group; the element under the point is a button in the group.
    ElementAtTest() {
        window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Invoice");
        group = ax.addNode("AXGroup");
        ax.appendChild(window, group);
        element = ax.addNode("AXButton");
        ax.appendChild(group, element);
        ax.setElementAtPoint(element);
    }

    std::optional<AXTarget> probe() { return elementAt(ax, {120.5, 40.25}); }

    FakeAccessibility ax;
    Node window;
    Node group;
    Node element;
};

TEST_F(ElementAtTest, ReadsEveryAttributeOfTheElement) {
    ax.setText(element, "AXSubrole", "AXCloseButton");
    ax.setText(element, "AXTitle", "Save");
    ax.setText(element, "AXIdentifier", "save-button");
    ax.setText(element, "AXRoleDescription", "button");
    ax.setText(element, "AXHelp", "Saves the file");
    ax.set(element, "AXPosition", geo::Point{10.5, 20});
    ax.set(element, "AXSize", geo::Size{80, 24.75});

    const auto target = probe();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->role, "AXButton");
    EXPECT_EQ(target->subrole, "AXCloseButton");
    EXPECT_EQ(target->label, "Save");
    EXPECT_EQ(target->identifier, "save-button");
    EXPECT_EQ(target->roleDescription, "button");
    EXPECT_EQ(target->help, "Saves the file");
    EXPECT_EQ(target->path, (std::vector<std::string>{"AXWindow", "AXGroup", "AXButton"}));
    EXPECT_EQ(target->windowTitle, "Invoice");
    EXPECT_EQ(target->frame, (std::vector<double>{10.5, 20, 80, 24.75}));
    EXPECT_FALSE(target->secure);
}

TEST_F(ElementAtTest, NothingAtThePointOrNoSystemWideObjectGivesNoTarget) {
    ax.setElementAtPoint(std::nullopt);
    EXPECT_FALSE(probe());
    ax.setElementAtPoint(element);
    ax.setSystemWideAvailable(false);
    EXPECT_FALSE(probe());
}

TEST_F(ElementAtTest, ElementWithoutAnyAttributeStillGivesATarget) {
    const Node bare = ax.addNode();
    ax.setElementAtPoint(bare);
    const auto target = probe();
    ASSERT_TRUE(target);
    EXPECT_FALSE(target->role);
    EXPECT_FALSE(target->label);
    EXPECT_TRUE(target->path.empty());
    EXPECT_TRUE(target->nearbyText.empty());
    EXPECT_FALSE(target->frame);
    EXPECT_FALSE(target->windowTitle);
}

TEST_F(ElementAtTest, LabelFallsBackFromTitleToDescriptionToValue) {
    EXPECT_FALSE(probe()->label);

    ax.setText(element, "AXValue", "shown value");
    EXPECT_EQ(probe()->label, "shown value");

    ax.setText(element, "AXDescription", "description");
    EXPECT_EQ(probe()->label, "description");

    ax.setText(element, "AXTitle", ""); // empty text counts as absent
    EXPECT_EQ(probe()->label, "description");

    ax.setText(element, "AXTitle", "  title  ");
    EXPECT_EQ(probe()->label, "  title  "); // unchanged, not trimmed
}

// The value of an element that takes text input is what the person typed: never a label.
TEST_F(ElementAtTest, ValueIsALabelOnlyWhereNobodyTypesIt) {
    struct Case {
        const char* role;
        const char* subrole;
        bool editableAncestor;
        bool valueIsLabel;
    };
    const Case cases[] = {
        {"AXStaticText", nullptr, false, true},
        {"AXCheckBox", nullptr, false, true},
        {"AXSlider", nullptr, false, true},
        {"AXTextField", nullptr, false, false},
        {"AXTextArea", nullptr, false, false},
        {"AXComboBox", nullptr, false, false},
        {"AXTextField", "AXSearchField", false, false},
        {"AXGroup", nullptr, true, false},      // editable web content
        {"AXStaticText", nullptr, true, false}, // text inside it
    };
    for (const Case& c : cases) {
        FakeAccessibility tree;
        const Node field = tree.addNode(c.role);
        if (c.subrole) tree.setText(field, "AXSubrole", c.subrole);
        if (c.editableAncestor)
            tree.set(field, "AXEditableAncestor", FakeAccessibility::ElementRef{field});
        tree.setText(field, "AXValue", "typed 4711");
        tree.setElementAtPoint(field);
        const auto target = elementAt(tree, {1, 1});
        ASSERT_TRUE(target);
        EXPECT_EQ(target->label == "typed 4711", c.valueIsLabel)
            << c.role << " " << c.editableAncestor;
        // A name or description still labels a text field.
        tree.setText(field, "AXDescription", "Amount");
        EXPECT_EQ(elementAt(tree, {1, 1})->label, "Amount") << c.role;
    }
    ax.setText(element, "AXRole", "AXCheckBox");
    ax.setNumber(element, "AXValue", 1, "1");
    EXPECT_EQ(probe()->label, "1"); // a number's decimal text
}

TEST_F(ElementAtTest, ValuesOfOtherKindsGiveNoLabel) {
    ax.set(element, "AXTitle", AXURLValue{"https://example.com/"});
    ax.set(element, "AXDescription", geo::Point{1, 2});
    ax.set(element, "AXValue", AXOtherValue{});
    EXPECT_FALSE(probe()->label);
}

TEST_F(ElementAtTest, SecureFieldHasNoLabelButKeepsEverythingElse) {
    const Node sibling = ax.addNode("AXStaticText");
    ax.setText(sibling, "AXTitle", "Password:");
    ax.appendChild(group, sibling);
    ax.setText(element, "AXRole", "AXTextField");
    ax.setText(element, "AXSubrole", "AXSecureTextField");
    ax.setText(element, "AXTitle", "Password");
    ax.setText(element, "AXIdentifier", "pw");

    const auto target = probe();
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->secure);
    EXPECT_FALSE(target->label);
    EXPECT_EQ(target->identifier, "pw");
    // The field is its parent's first child, so its own title is among the nearby texts.
    EXPECT_EQ(target->nearbyText, (std::vector<std::string>{"Password", "Password:"}));
    EXPECT_EQ(target->path.back(), "AXTextField");
}

TEST_F(ElementAtTest, SecureRoleAloneMakesTheFieldSecure) {
    ax.setText(element, "AXRole", "AXSecureTextField");
    ax.setText(element, "AXTitle", "Password");
    const auto target = probe();
    EXPECT_TRUE(target->secure);
    EXPECT_FALSE(target->label);
}

TEST_F(ElementAtTest, PathOfADeepElementHoldsTwentyRoles) {
    // Roles name the depth, so the outermost entry shows how far the walk went.
    const Node root = ax.addNode("level0");
    Node current = root;
    for (int level = 1; level <= 25; ++level) {
        const Node next = ax.addNode("level" + std::to_string(level));
        ax.appendChild(current, next);
        current = next;
    }
    ax.setElementAtPoint(current);

    const auto target = probe();
    ASSERT_EQ(target->path.size(), 20u);
    EXPECT_EQ(target->path.front(), "level6"); // the 19th ancestor of level25
    EXPECT_EQ(target->path.back(), "level25");
}

TEST_F(ElementAtTest, RolelessAncestorsAreWalkedThrough) {
    const Node unnamed = ax.addNode();
    ax.appendChild(window, unnamed);
    const Node inner = ax.addNode("AXCell");
    ax.appendChild(unnamed, inner);
    ax.setElementAtPoint(inner);
    EXPECT_EQ(probe()->path, (std::vector<std::string>{"AXWindow", "AXCell"}));
}

TEST_F(ElementAtTest, OutermostWindowTitleWinsEvenWhenAbsent) {
    const Node sheet = ax.addNode("AXWindow");
    ax.setText(sheet, "AXTitle", "Sheet");
    ax.appendChild(group, sheet);
    const Node field = ax.addNode("AXTextField");
    ax.appendChild(sheet, field);
    ax.setElementAtPoint(field);
    EXPECT_EQ(probe()->windowTitle, "Invoice");

    ax.setText(window, "AXTitle", "");
    EXPECT_FALSE(probe()->windowTitle);
}

TEST_F(ElementAtTest, CyclicParentsEndAfterTwentyElements) {
    ax.set(window, "AXParent", FakeAccessibility::ElementRef{element});
    const auto target = probe();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->path.size(), 20u);
}

TEST_F(ElementAtTest, NearbyTextKeepsTheFirstSixTitlesOfTwelveSiblings) {
    for (int i = 0; i < 12; ++i) {
        const Node sibling = ax.addNode("AXStaticText");
        ax.setText(sibling, "AXTitle", "t" + std::to_string(i));
        ax.appendChild(group, sibling);
    }
    // The element itself is the group's first child and has no title.
    EXPECT_EQ(probe()->nearbyText, (std::vector<std::string>{"t0", "t1", "t2", "t3", "t4", "t5"}));
}

TEST_F(ElementAtTest, NearbyTextLooksOnlyAtTheFirstEightSiblings) {
    for (int i = 0; i < 7; ++i)
        ax.appendChild(group, ax.addNode("AXGroup"));
    for (int i = 0; i < 4; ++i) {
        const Node later = ax.addNode("AXStaticText");
        ax.setText(later, "AXTitle", "late");
        ax.appendChild(group, later);
    }
    EXPECT_TRUE(probe()->nearbyText.empty());
}

TEST_F(ElementAtTest, NearbyTextUsesDescriptionsAndIncludesTheElementItself) {
    ax.setText(element, "AXTitle", "Save");
    const Node described = ax.addNode("AXImage");
    ax.setText(described, "AXTitle", "");
    ax.setText(described, "AXDescription", "logo");
    ax.appendChild(group, described);
    const Node numbered = ax.addNode("AXCheckBox");
    ax.setNumber(numbered, "AXTitle", 0, "0");
    ax.appendChild(group, numbered);
    EXPECT_EQ(probe()->nearbyText, (std::vector<std::string>{"Save", "logo", "0"}));
}

TEST_F(ElementAtTest, FrameNeedsBothPositionAndSize) {
    ax.set(element, "AXPosition", geo::Point{5, 6});
    EXPECT_FALSE(probe()->frame);
    ax.set(element, "AXSize", FakeAccessibility::Failing{});
    EXPECT_FALSE(probe()->frame);
    ax.set(element, "AXSize", geo::Size{7, 8});
    EXPECT_EQ(probe()->frame, (std::vector<double>{5, 6, 7, 8}));
    ax.set(element, "AXPosition", geo::Size{5, 6}); // a payload of the wrong kind
    EXPECT_FALSE(probe()->frame);
}

TEST_F(ElementAtTest, ReleasesEveryHandleItCopied) {
    for (int i = 0; i < 3; ++i)
        ax.appendChild(group, ax.addNode("AXStaticText"));
    ASSERT_TRUE(probe());
    EXPECT_EQ(ax.liveHandles(), 0);
}

TEST(AXReaders, ChildrenOfAnUnreadableOrOddAttributeAreEmpty) {
    FakeAccessibility ax;
    const Node node = ax.addNode("AXGroup");
    const AXElement handle = ax.application(1); // no such process
    EXPECT_FALSE(handle);
    ax.setElementAtPoint(node);
    const AXElement element = ax.elementAtPosition(ax.systemWide(), 0, 0);
    EXPECT_TRUE(AXProbe::children(ax, element).empty());
    ax.setText(node, "AXChildren", "not a list");
    EXPECT_TRUE(AXProbe::children(ax, element).empty());
    ax.set(node, "AXChildren", FakeAccessibility::Failing{});
    EXPECT_TRUE(AXProbe::children(ax, element).empty());
}

TEST(AXReaders, ElementAttrAcceptsOnlyElements) {
    FakeAccessibility ax;
    const Node node = ax.addNode("AXGroup");
    const Node other = ax.addNode("AXButton");
    ax.setElementAtPoint(node);
    const AXElement element = ax.elementAtPosition(ax.systemWide(), 0, 0);
    ax.setText(node, "AXParent", "text");
    EXPECT_FALSE(AXProbe::elementAttr(ax, element, "AXParent"));
    ax.set(node, "AXParent", FakeAccessibility::ElementListRef{{other}});
    EXPECT_FALSE(AXProbe::elementAttr(ax, element, "AXParent"));
    ax.set(node, "AXParent", FakeAccessibility::ElementRef{other});
    EXPECT_EQ(ax.nodeOf(AXProbe::elementAttr(ax, element, "AXParent")), other);
    EXPECT_FALSE(AXProbe::elementAttr(ax, nullptr, "AXParent"));
    EXPECT_FALSE(AXProbe::str(ax, nullptr, "AXRole"));
}

} // namespace
