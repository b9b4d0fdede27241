// Capture geometry, cursor compositing, the AT-SPI role table and GTK 4's names.
#include "platform/linux/atspi/atspi_roles.h"
#include "platform/linux/atspi/gtk4_names.h"
#include "platform/linux/imaging/capture_geometry.h"

#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>

namespace {

using capture_geometry::PixelRect;
using capture_geometry::PixelSize;

TEST(CaptureGeometryTest, ClipsToTheScreenKeepsTheScaleOfWhatIsVisibleAndBlendsTheCursorIn) {
    const PixelRect screen{0, 0, 1280, 800};
    EXPECT_EQ(capture_geometry::intersect({-50, 700, 200, 300}, screen),
              (PixelRect{0, 700, 150, 100}));
    EXPECT_TRUE(capture_geometry::intersect({1280, 0, 10, 10}, screen).empty());
    EXPECT_TRUE(capture_geometry::intersect({-20, -20, 10, 10}, screen).empty());
    // Half the window off screen at scale 1.5: half the width, truncated.
    EXPECT_EQ(capture_geometry::outputSize({401, 600}, {801, 600}, {1201, 900}),
              (PixelSize{601, 900}));

    std::vector<std::uint8_t> pixels(4 * 4 * 4, 100);
    // Opaque white, half-transparent black (premultiplied: colour 0), transparent.
    const std::uint32_t cursor[3] = {0xFFFFFFFF, 0x80000000, 0x00000000};
    capture_geometry::compositeCursor(pixels.data(), 16, 4, 4, cursor, 3, 1, 2, 3);
    EXPECT_EQ(pixels[(3 * 4 + 2) * 4], 255); // opaque white replaced the pixel
    EXPECT_EQ(pixels[(3 * 4 + 3) * 4], 50);  // 100 × (1 − 0.5) after the black half
    EXPECT_EQ(pixels[(3 * 4 + 1) * 4], 100); // left of the cursor: untouched
    capture_geometry::compositeCursor(pixels.data(), 16, 4, 4, cursor, 3, 1, -2, -1);
    capture_geometry::compositeCursor(pixels.data(), 16, 4, 4, cursor, 3, 1, 3, 0);
    EXPECT_EQ(pixels[3 * 4], 255); // (3, 0) covered by the cursor's first pixel
    EXPECT_EQ(pixels[0], 100);     // the cursor above the image drew nothing
}

TEST(AtspiRolesTest, EveryRoleHasANameAParentKnows) {
    using atspi_roles::RoleContext;
    using atspi_roles::ValueKind;
    const RoleContext plain{}, editable{.editable = true, .parent = {}},
        withEntry{.takesText = true, .parent = {}}, inMenuBar{.parent = ATSPI_ROLE_MENU_BAR},
        inMenu{.parent = ATSPI_ROLE_MENU}, topLevel{.parent = ATSPI_ROLE_APPLICATION};
    // A password's contents and editable text containers' text are the person's: never read.
    const std::tuple<AtspiRole, RoleContext, const char*, std::optional<std::string>, ValueKind>
        cases[] = {
            {ATSPI_ROLE_FRAME, plain, "AXWindow", "AXStandardWindow", ValueKind::none},
            {ATSPI_ROLE_DIALOG, plain, "AXWindow", "AXDialog", ValueKind::none},
            {ATSPI_ROLE_FILLER, topLevel, "AXWindow", "AXDialog", ValueKind::none}, // GTK 4
            {ATSPI_ROLE_FILLER, plain, "AXGroup", {}, ValueKind::none},
            {ATSPI_ROLE_PASSWORD_TEXT, plain, "AXSecureTextField", "AXSecureTextField",
             ValueKind::none},
            {ATSPI_ROLE_TOGGLE_BUTTON, plain, "AXButton", "AXToggle", ValueKind::checkState},
            {ATSPI_ROLE_PARAGRAPH, editable, "AXGroup", {}, ValueKind::none},
            {ATSPI_ROLE_HEADING, editable, "AXHeading", {}, ValueKind::none},
            {ATSPI_ROLE_DOCUMENT_TEXT, editable, "AXTextArea", {}, ValueKind::text},
            {ATSPI_ROLE_COMBO_BOX, plain, "AXPopUpButton", {}, ValueKind::none}, // a select
            {ATSPI_ROLE_COMBO_BOX, withEntry, "AXComboBox", {}, ValueKind::none},
            {ATSPI_ROLE_MENU, inMenuBar, "AXMenuBarItem", {}, ValueKind::none},
            {ATSPI_ROLE_MENU, inMenu, "AXMenuItem", {}, ValueKind::none},
            {ATSPI_ROLE_MENU, plain, "AXMenu", {}, ValueKind::none},
            {ATSPI_ROLE_MENU_ITEM, inMenuBar, "AXMenuBarItem", {}, ValueKind::none}, // Qt
            {ATSPI_ROLE_INTERNAL_FRAME, plain, "AXGroup", {}, ValueKind::none},
            {ATSPI_ROLE_INVALID, plain, "AXUnknown", {}, ValueKind::none},
        };
    for (const auto& [role, context, name, subrole, value] : cases) {
        const auto names = atspi_roles::namesFor(role, context);
        EXPECT_EQ(std::tie(names.role, names.subrole, names.value), std::tie(name, subrole, value))
            << role;
    }
    // No role gets a name of its own making: each is one of the macOS roles.
    std::istringstream macRoles(
        "AXApplication AXButton AXCell AXCheckBox AXComboBox AXGroup AXHeading AXHelpTag "
        "AXImage AXIncrementor AXLevelIndicator AXLink AXList AXMenu AXMenuBar AXMenuBarItem "
        "AXMenuButton AXMenuItem AXOutline AXPopUpButton AXProgressIndicator AXRadioButton "
        "AXRow AXRuler AXScrollArea AXScrollBar AXSecureTextField AXSlider AXSplitGroup "
        "AXSplitter AXStaticText AXTabGroup AXTable AXTextArea AXTextField AXToolbar "
        "AXUnknown AXWebArea AXWindow");
    const std::set<std::string> known{std::istream_iterator<std::string>(macRoles), {}};
    for (int role = ATSPI_ROLE_INVALID; role <= ATSPI_ROLE_LAST_DEFINED; ++role) {
        for (const RoleContext& context : {plain, editable, withEntry, inMenuBar, topLevel})
            EXPECT_TRUE(
                known.contains(atspi_roles::namesFor(static_cast<AtspiRole>(role), context).role))
                << role;
    }
}

TEST(Gtk4NamesTest, AClassNameIsNoNameAndALabelNamedTwiceIsNamedOnce) {
    struct Case {
        std::string name;
        bool namesItsText;
        std::optional<std::string> shown;
    };
    const Case cases[] = {
        {"GtkMenuButton", false, std::nullopt},
        {"EditorSourceView", false, std::nullopt},
        {"AdwTabBox", false, std::nullopt},
        {"GtkLabel2", false, std::nullopt},
        {"GitHub", true, "GitHub"}, // a label says what it shows
        {"7 7", false, "7"},
        {"\u221a \u221a", false, "\u221a"},
        {"_Retry Retry", false, "Retry"},
        {"Save _As Save As", false, "Save As"},
        {"Snake__case Snake_case", false, "Snake_case"},
        {"_Discard\u2026 Discard\u2026", false, "Discard\u2026"},
        {"New tab (Ctrl+T)", false, "New tab (Ctrl+T)"},
        {"OK", false, "OK"},
        {"GNOME", false, "GNOME"},
        {"Save", false, "Save"},
        {"x2", false, "x2"},
        {"Gtk Button", false, "Gtk Button"},
        {"", false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gtk4_names::shownName(c.name, c.namesItsText), c.shown) << c.name;
}

} // namespace
