// Contract tests of screen capture on a real X server, with windows of known pixels.
// Needs DISPLAY (scripts/with-virtual-desktop).
#include "platform/linux/imaging/linux_image.h"
#include "platform/linux/imaging/shm_screen_capture.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace {

constexpr std::uint32_t kLeft = 0xD02010;
constexpr std::uint32_t kRight = 0x1040E0;

/// An override-redirect window of two solid halves (background pixels, which the server
/// paints while mapping), or one without a background that never draws.
class PatternWindow {
public:
    PatternWindow(int x, int y, int width, int height, bool painted = true)
        : connection_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {painted ? kLeft : std::uint32_t{XCB_BACK_PIXMAP_NONE}, 1};
        create(window_, root_, x, y, width, height,
               (painted ? XCB_CW_BACK_PIXEL : XCB_CW_BACK_PIXMAP) | XCB_CW_OVERRIDE_REDIRECT,
               values);
        half_ = xcb_generate_id(connection_);
        create(half_, window_, width / 2, 0, width - width / 2, height, XCB_CW_BACK_PIXEL, &kRight);
        if (painted) xcb_map_window(connection_, half_);
        xcb_map_window(connection_, window_);
        warpPointer(1, 1);
    }
    ~PatternWindow() { xcb_disconnect(connection_); }
    xcb_window_t id() const { return window_; }
    xcb_window_t rightHalf() const { return half_; }
    /// Moves the pointer; returns once the server has done it and everything before.
    void warpPointer(int x, int y) {
        xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                         static_cast<std::int16_t>(y));
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    void create(xcb_window_t id, xcb_window_t parent, int x, int y, int width, int height,
                std::uint32_t mask, const std::uint32_t* values) {
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id, parent,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, mask, values);
    }
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_window_t window_ = 0;
    xcb_window_t half_ = 0;
};

std::uint32_t rgbAt(const Image& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* pixel = LinuxImage::from(image)->row(y) + x * 4;
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

/// Pixels of `image` in [0, width) × [0, height) for which `counted(rgb, x, y)` holds.
int countPixels(const Image& image, int width, int height,
                const std::function<bool(std::uint32_t, int, int)>& counted) {
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += counted(rgbAt(image, x, y), x, y) ? 1 : 0;
    return count;
}

class ScreenCaptureContractTest : public ::testing::Test {
protected:
    Image window(xcb_window_t id, std::int64_t width, std::int64_t height, bool cursor = false) {
        auto image = capture_.captureWindow({id, {}}, {width, height, cursor, true});
        EXPECT_TRUE(image) << image.error().description;
        return image ? std::move(image.value()) : Image{};
    }
    ShmScreenCapture capture_;
};

TEST_F(ScreenCaptureContractTest, DisplayCapturesSeeTheScreenAsItIsNow) {
    auto content = capture_.shareableContent();
    ASSERT_TRUE(content && !content.value().displays.empty());
    const ShareableDisplay screen = content.value().displays.front();
    // The first image is still held while the second is taken: they must not share memory.
    auto before = capture_.captureDisplay(screen, {0, 0, false, false});
    PatternWindow pattern(300, 200, 200, 100);
    auto after = capture_.captureDisplay(screen, {screen.width, screen.height, false, false});
    ASSERT_TRUE(before && after);
    EXPECT_NE(rgbAt(before.value(), 310, 210), kLeft);
    for (auto [x, y, rgb] :
         {std::tuple{300, 200, kLeft}, {399, 299, kLeft}, {400, 200, kRight}, {499, 299, kRight}})
        EXPECT_EQ(rgbAt(after.value(), x, y), rgb) << x << "," << y;
    EXPECT_NE(rgbAt(after.value(), 500, 250), kRight);
}

TEST_F(ScreenCaptureContractTest,
       WindowCaptureIsTheWindowAloneAtTheRequestedSizeWithThePointerAsked) {
    PatternWindow pattern(100, 120, 200, 100);
    const Image half = window(pattern.id(), 100, 50);
    ASSERT_EQ(LinuxImage::from(half)->width(), 100);
    ASSERT_EQ(LinuxImage::from(half)->height(), 50);
    EXPECT_EQ(rgbAt(half, 20, 25), kLeft);
    EXPECT_EQ(rgbAt(half, 80, 25), kRight);
    pattern.warpPointer(120, 140);
    const auto notLeft = [](std::uint32_t rgb, int, int) { return rgb != kLeft; };
    EXPECT_EQ(countPixels(window(pattern.id(), 0, 0), 100, 100, notLeft), 0);
    const Image drawn = window(pattern.id(), 0, 0, true);
    EXPECT_GT(countPixels(drawn, 100, 100, notLeft), 10);
    EXPECT_EQ(rgbAt(drawn, 5, 5), kLeft); // above and left of the hotspot
    EXPECT_FALSE(capture_.captureWindow({0x7FFFFFF, {}}, {10, 10, false, true}));
}

TEST_F(ScreenCaptureContractTest, WindowCaptureShowsNothingOfTheWindowsOnTopOfIt) {
    const auto patternColour = [](std::uint32_t rgb, int, int) {
        return rgb == kLeft || rgb == kRight;
    };
    {
        // Partly off screen, its right half under the pattern: both parts wait for a redraw
        // that never comes.
        PatternWindow silent(-40, 300, 200, 100, false);
        PatternWindow cover(60, 300, 200, 100);
        EXPECT_EQ(countPixels(window(silent.id(), 200, 100), 200, 100, patternColour), 0);
    }
    // Under a compositing manager every top-level window is kept off screen: cut from its
    // frame, the right half shows none of the cover's left half on top of it.
    PatternWindow frame(100, 500, 200, 100);
    PatternWindow cover(150, 450, 200, 100);
    xcb_connection_t* manager = xcb_connect(nullptr, nullptr);
    free(xcb_composite_query_version_reply(manager, xcb_composite_query_version(manager, 0, 4),
                                           nullptr));
    xcb_composite_redirect_subwindows(manager,
                                      xcb_setup_roots_iterator(xcb_get_setup(manager)).data->root,
                                      XCB_COMPOSITE_REDIRECT_MANUAL);
    free(xcb_get_input_focus_reply(manager, xcb_get_input_focus(manager), nullptr));
    EXPECT_EQ(countPixels(window(frame.rightHalf(), 100, 100), 100, 100,
                          [](std::uint32_t rgb, int, int) { return rgb != kRight; }),
              0);
    xcb_disconnect(manager);
}

TEST_F(ScreenCaptureContractTest, WithoutSharedMemoryThePlainRequestGivesTheSamePixels) {
    if (std::getenv("MEDIA_CONTRACT_WITHOUT_SHM") == nullptr) {
        // Runs itself again on a private desktop whose server lacks the extension.
        const std::string command =
            "MEDIA_CONTRACT_WITHOUT_SHM=1 " VIRTUAL_DESKTOP
            " --private --no-window-manager --without-extension MIT-SHM " +
            std::filesystem::read_symlink("/proc/self/exe").string() + " --gtest_filter=" +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        return;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool shm = xcb_get_extension_data(connection, &xcb_shm_id)->present;
    xcb_disconnect(connection);
    ASSERT_FALSE(shm);
    PatternWindow pattern(20, 30, 100, 60);
    pattern.warpPointer(40, 50);
    auto content = capture_.shareableContent();
    ASSERT_TRUE(content) << content.error().description;
    const ShareableDisplay screen = content.value().displays.front();
    auto plain = capture_.captureDisplay(screen, {0, 0, false, false});
    auto withCursor = capture_.captureDisplay(screen, {0, 0, true, false});
    ASSERT_TRUE(plain && withCursor);
    EXPECT_EQ(rgbAt(plain.value(), 20, 30), kLeft);
    EXPECT_EQ(rgbAt(plain.value(), 119, 89), kRight);
    EXPECT_EQ(rgbAt(window(pattern.id(), 0, 0), 99, 59), kRight);
    EXPECT_GT(countPixels(withCursor.value(), 200, 200,
                          [&](std::uint32_t rgb, int x, int y) {
                              return rgb != rgbAt(plain.value(), x, y);
                          }),
              10); // the pointer, drawn in only when asked
}

} // namespace
