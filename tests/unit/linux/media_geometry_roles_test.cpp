// Capture geometry, cursor compositing and the AT-SPI role table.
#include "platform/linux/atspi_roles.h"
#include "platform/linux/capture_geometry.h"

#include <gtest/gtest.h>

namespace {

using capture_geometry::PixelRect;
using capture_geometry::PixelSize;

TEST(CaptureGeometryTest, ClipsToTheScreenAndKeepsTheRequestedScaleOfWhatIsVisible) {
    const PixelRect screen{0, 0, 1280, 800};
    EXPECT_EQ(capture_geometry::intersect({100, 100, 200, 50}, screen),
              (PixelRect{100, 100, 200, 50}));
    EXPECT_EQ(capture_geometry::intersect({-50, 700, 200, 300}, screen),
              (PixelRect{0, 700, 150, 100}));
    EXPECT_TRUE(capture_geometry::intersect({1280, 0, 10, 10}, screen).empty());
    EXPECT_TRUE(capture_geometry::intersect({-20, -20, 10, 10}, screen).empty());
    EXPECT_EQ(capture_geometry::outputSize({800, 600}, {800, 600}, {1600, 1200}),
              (PixelSize{1600, 1200}));
    EXPECT_EQ(capture_geometry::outputSize({800, 600}, {800, 600}, {0, 0}), (PixelSize{800, 600}));
    // Half the window off screen at scale 1.5: half the width, truncated.
    EXPECT_EQ(capture_geometry::outputSize({401, 600}, {801, 600}, {1201, 900}),
              (PixelSize{601, 900}));
}

TEST(CaptureGeometryTest, CursorIsBlendedOverAndClippedAtTheEdges) {
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

TEST(AtspiRolesTest, RolesTheProbesCompareAgainst) {
    const auto names = [](AtspiRole role, atspi_roles::RoleStates states = {}) {
        return atspi_roles::namesFor(role, states, "unused");
    };
    using atspi_roles::ValueKind;
    EXPECT_EQ(names(ATSPI_ROLE_FRAME).role, "AXWindow");
    EXPECT_EQ(names(ATSPI_ROLE_DIALOG).role, "AXWindow");
    EXPECT_EQ(names(ATSPI_ROLE_DIALOG).subrole, "AXDialog");
    EXPECT_EQ(names(ATSPI_ROLE_WINDOW).role, "AXWindow");
    EXPECT_EQ(names(ATSPI_ROLE_DOCUMENT_WEB).role, "AXWebArea");

    const auto password = names(ATSPI_ROLE_PASSWORD_TEXT);
    EXPECT_EQ(password.role, "AXSecureTextField");
    EXPECT_EQ(password.subrole, "AXSecureTextField");
    EXPECT_EQ(password.value, ValueKind::none); // its contents are never read

    EXPECT_EQ(names(ATSPI_ROLE_PUSH_BUTTON).role, "AXButton");
    EXPECT_EQ(names(ATSPI_ROLE_TOGGLE_BUTTON).role, "AXButton");
    EXPECT_EQ(names(ATSPI_ROLE_CHECK_BOX).value, ValueKind::checkState);
    EXPECT_EQ(names(ATSPI_ROLE_RADIO_BUTTON).role, "AXRadioButton");
    EXPECT_EQ(names(ATSPI_ROLE_ENTRY).role, "AXTextField");
    EXPECT_EQ(names(ATSPI_ROLE_ENTRY).value, ValueKind::text);
    EXPECT_EQ(names(ATSPI_ROLE_TEXT).role, "AXTextField");
    EXPECT_EQ(names(ATSPI_ROLE_TEXT, {.multiLine = true}).role, "AXTextArea");
    // Text containers read as static text, unless editable: then their text is the person's.
    EXPECT_EQ(names(ATSPI_ROLE_PARAGRAPH).role, "AXStaticText");
    EXPECT_EQ(names(ATSPI_ROLE_PARAGRAPH).value, ValueKind::text);
    EXPECT_EQ(names(ATSPI_ROLE_PARAGRAPH, {.editable = true}).value, ValueKind::none);
    EXPECT_EQ(names(ATSPI_ROLE_HEADING, {.editable = true}).value, ValueKind::none);
    EXPECT_EQ(names(ATSPI_ROLE_LABEL).role, "AXStaticText");
    EXPECT_EQ(names(ATSPI_ROLE_LINK).role, "AXLink");
    EXPECT_EQ(names(ATSPI_ROLE_MENU_ITEM).role, "AXMenuItem");
    EXPECT_EQ(names(ATSPI_ROLE_COMBO_BOX).role, "AXComboBox");
    EXPECT_EQ(names(ATSPI_ROLE_LIST).role, "AXList");
    EXPECT_EQ(names(ATSPI_ROLE_LIST_ITEM).role, "AXRow");
    EXPECT_EQ(names(ATSPI_ROLE_SLIDER).value, ValueKind::number);
    EXPECT_EQ(names(ATSPI_ROLE_APPLICATION).role, "AXApplication");
}

TEST(AtspiRolesTest, OtherRolesUseTheirOwnNameInCamelCase) {
    EXPECT_EQ(atspi_roles::camelCaseRole("push button menu"), "AXPushButtonMenu");
    EXPECT_EQ(atspi_roles::camelCaseRole("tearoff-menu_item"), "AXTearoffMenuItem");
    EXPECT_EQ(atspi_roles::camelCaseRole(""), "AXUnknown");
    EXPECT_EQ(atspi_roles::namesFor(ATSPI_ROLE_CALENDAR, {}, "calendar").role, "AXCalendar");
    EXPECT_EQ(atspi_roles::namesFor(ATSPI_ROLE_STATUS_BAR, {}, "status bar").role, "AXStatusBar");
    EXPECT_FALSE(atspi_roles::namesFor(ATSPI_ROLE_STATUS_BAR, {}, "status bar").subrole);
}

} // namespace
