// Capture geometry, cursor compositing and the AT-SPI role table.
#include "platform/linux/atspi/atspi_roles.h"
#include "platform/linux/imaging/capture_geometry.h"

#include <gtest/gtest.h>

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

TEST(AtspiRolesTest, RolesTheProbesCompareAgainstAndWhoseValuesAreRead) {
    using atspi_roles::ValueKind;
    constexpr atspi_roles::RoleStates plain{}, editable{.editable = true};
    // A password's contents and editable text containers' text are the person's: never read.
    // Entries, check boxes, sliders, web areas, text views and paragraphs: on the desktop.
    const std::tuple<AtspiRole, atspi_roles::RoleStates, const char*, std::optional<std::string>,
                     ValueKind>
        cases[] = {
            {ATSPI_ROLE_FRAME, plain, "AXWindow", "AXStandardWindow", ValueKind::none},
            {ATSPI_ROLE_DIALOG, plain, "AXWindow", "AXDialog", ValueKind::none},
            {ATSPI_ROLE_PASSWORD_TEXT, plain, "AXSecureTextField", "AXSecureTextField",
             ValueKind::none},
            {ATSPI_ROLE_TOGGLE_BUTTON, plain, "AXButton", "AXToggle", ValueKind::checkState},
            {ATSPI_ROLE_PARAGRAPH, editable, "AXGroup", {}, ValueKind::none},
            {ATSPI_ROLE_HEADING, editable, "AXHeading", {}, ValueKind::none},
            {ATSPI_ROLE_LIST_ITEM, plain, "AXRow", {}, ValueKind::none},
            {ATSPI_ROLE_STATUS_BAR, plain, "AXStatusBar", {}, ValueKind::none},
        };
    for (const auto& [role, states, name, subrole, value] : cases) {
        const auto names = atspi_roles::namesFor(role, states, "status bar");
        EXPECT_EQ(std::tie(names.role, names.subrole, names.value), std::tie(name, subrole, value))
            << role;
    }
    EXPECT_EQ(atspi_roles::camelCaseRole("tearoff-menu_item"), "AXTearoffMenuItem");
    EXPECT_EQ(atspi_roles::camelCaseRole(""), "AXUnknown");
}

} // namespace
