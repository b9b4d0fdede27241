// Contract tests of the media ports on a real X desktop: AT-SPI accessibility against an
// accessible GTK window, screen capture of windows with known pixels, JPEG of a capture.
// Needs DISPLAY and the accessibility bus (scripts/with-virtual-desktop provides both).
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/linux_graphics.h"
#include "platform/linux/linux_image.h"
#include "platform/linux/shm_screen_capture.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <turbojpeg.h>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

/// The GTK window of media_test_window.py, its process and the layout it reported.
class TestWindow {
public:
    bool start(std::vector<std::string> arguments = {}) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            close(toChild[1]);
            close(fromChild[0]);
            std::vector<char*> argv{const_cast<char*>("python3"),
                                    const_cast<char*>(MEDIA_TEST_WINDOW)};
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv("/usr/bin/python3", argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        stdin_ = toChild[1];
        std::string line;
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        char c = 0;
        while (Clock::now() < deadline) {
            pollfd fd{fromChild[0], POLLIN, 0};
            if (poll(&fd, 1, 200) <= 0) continue;
            if (read(fromChild[0], &c, 1) != 1) break;
            if (c == '\n') break;
            line.push_back(c);
        }
        close(fromChild[0]);
        if (line.empty()) return false;
        layout = nlohmann::json::parse(line);
        return true;
    }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGCONT);
        close(stdin_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }
    /// Centre of a widget, root-window pixels.
    std::pair<float, float> centre(const std::string& widget) const {
        const auto& r = layout["widgets"][widget];
        return {r[0].get<float>() + r[2].get<float>() / 2,
                r[1].get<float>() + r[3].get<float>() / 2};
    }

    nlohmann::json layout;

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
};

std::optional<std::string> textOf(const AXValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::nullopt;
}

AXElement elementOf(const AXValue& value) {
    if (const auto* element = std::get_if<AXElement>(&value)) return *element;
    return nullptr;
}

class AccessibilityContractTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("DISPLAY") == nullptr) return;
        window_ = new TestWindow;
        if (!window_->start()) {
            delete window_;
            window_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        if (window_ != nullptr) window_->stop();
        delete window_;
        window_ = nullptr;
    }
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        ASSERT_NE(window_, nullptr) << "the GTK test window did not start";
        systemWide_ = ax_.systemWide();
        ax_.setMessagingTimeout(systemWide_, 0.3f);
    }

    AXElement at(const std::string& widget) {
        const auto [x, y] = window_->centre(widget);
        return ax_.elementAtPosition(systemWide_, x, y);
    }
    std::optional<std::string> text(const AXElement& element, std::string_view attribute) {
        return textOf(ax_.copyAttributeValue(element, attribute));
    }

    static TestWindow* window_;
    AtspiAccessibility ax_;
    AXElement systemWide_;
};
TestWindow* AccessibilityContractTest::window_ = nullptr;

TEST_F(AccessibilityContractTest, ButtonUnderThePointHasRoleTitleAndFrame) {
    AXElement button = at("button");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(text(button, "AXRole"), "AXButton");
    EXPECT_EQ(text(button, "AXTitle"), "Submit");
    EXPECT_EQ(text(button, "AXRoleDescription"), "push button");
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(ax_.copyAttributeValue(button, "AXSubrole")));

    const auto& rect = window_->layout["widgets"]["button"];
    const AXValue position = ax_.copyAttributeValue(button, "AXPosition");
    const AXValue size = ax_.copyAttributeValue(button, "AXSize");
    ASSERT_TRUE(std::holds_alternative<geo::Point>(position));
    ASSERT_TRUE(std::holds_alternative<geo::Size>(size));
    EXPECT_NEAR(std::get<geo::Point>(position).x, rect[0].get<double>(), 2);
    EXPECT_NEAR(std::get<geo::Point>(position).y, rect[1].get<double>(), 2);
    EXPECT_NEAR(std::get<geo::Size>(size).width, rect[2].get<double>(), 2);
    EXPECT_NEAR(std::get<geo::Size>(size).height, rect[3].get<double>(), 2);
}

TEST_F(AccessibilityContractTest, PasswordFieldIsSecureAndItsTextNeverRead) {
    AXElement password = at("password");
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(text(password, "AXRole"), "AXSecureTextField");
    EXPECT_EQ(text(password, "AXSubrole"), "AXSecureTextField");
    EXPECT_EQ(text(password, "AXTitle"), "Password");
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(ax_.copyAttributeValue(password, "AXValue")));
}

TEST_F(AccessibilityContractTest, ValuesOfTextFieldCheckBoxAndSlider) {
    AXElement entry = at("entry");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(text(entry, "AXRole"), "AXTextField");
    EXPECT_EQ(text(entry, "AXValue"), "Hello, 世界");
    EXPECT_EQ(text(entry, "AXTitle"), "Customer name");

    AXElement check = at("check");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(text(check, "AXRole"), "AXCheckBox");
    const AXValue ticked = ax_.copyAttributeValue(check, "AXValue");
    ASSERT_TRUE(std::holds_alternative<AXNumber>(ticked));
    EXPECT_EQ(std::get<AXNumber>(ticked).decimalText, "1");

    AXElement slider = at("scale");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(text(slider, "AXRole"), "AXSlider");
    const AXValue level = ax_.copyAttributeValue(slider, "AXValue");
    ASSERT_TRUE(std::holds_alternative<AXNumber>(level));
    EXPECT_DOUBLE_EQ(std::get<AXNumber>(level).value, 42.5);
    EXPECT_EQ(std::get<AXNumber>(level).decimalText, "42.5");

    AXElement caption = at("caption");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(text(caption, "AXRole"), "AXStaticText");
}

TEST_F(AccessibilityContractTest, AncestorsLeadToTheTitledWindowAndItsApplication) {
    AXElement element = at("button");
    ASSERT_NE(element, nullptr);
    std::vector<std::string> roles;
    std::optional<std::string> windowTitle;
    for (int level = 0; element && level < 20; ++level) {
        const auto role = text(element, "AXRole");
        roles.push_back(role.value_or("?"));
        if (role == "AXWindow") windowTitle = text(element, "AXTitle");
        element = elementOf(ax_.copyAttributeValue(element, "AXParent"));
    }
    ASSERT_GE(roles.size(), 3u);
    EXPECT_EQ(roles.front(), "AXButton");
    EXPECT_EQ(roles.back(), "AXApplication");
    EXPECT_EQ(windowTitle, "Media Contract Window");
}

TEST_F(AccessibilityContractTest, ChildrenOfTheFormListItsWidgetsInOrder) {
    AXElement parent = elementOf(ax_.copyAttributeValue(at("entry"), "AXParent"));
    ASSERT_NE(parent, nullptr);
    const AXValue children = ax_.copyAttributeValue(parent, "AXChildren");
    ASSERT_TRUE(std::holds_alternative<std::vector<AXElement>>(children));
    std::vector<std::string> titles;
    for (const AXElement& child : std::get<std::vector<AXElement>>(children)) {
        titles.push_back(text(child, "AXTitle").value_or(""));
    }
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Submit"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Remember me"), titles.end());
    EXPECT_GE(titles.size(), 7u);
}

TEST_F(AccessibilityContractTest, ApplicationByProcessIdAndItsWindows) {
    AXElement application = ax_.application(window_->pid());
    ASSERT_NE(application, nullptr);
    ax_.setMessagingTimeout(application, 0.2f);
    EXPECT_EQ(text(application, "AXRole"), "AXApplication");
    AXElement main = elementOf(ax_.copyAttributeValue(application, "AXMainWindow"));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(text(main, "AXRole"), "AXWindow");
    EXPECT_EQ(text(main, "AXTitle"), "Media Contract Window");
    // The focused window, when the desktop gave one, is the same window.
    if (AXElement focused = elementOf(ax_.copyAttributeValue(application, "AXFocusedWindow"))) {
        EXPECT_EQ(text(focused, "AXTitle"), "Media Contract Window");
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(ax_.copyAttributeValue(main, "AXURL")));
    EXPECT_EQ(ax_.application(0x7FFFFFF0), nullptr);
}

TEST_F(AccessibilityContractTest, AnApplicationIsFoundAgainUntilItsProcessEnds) {
    TestWindow other;
    ASSERT_TRUE(other.start());
    const pid_t pid = other.pid();
    AXElement first;
    // The new process registers with the accessibility bus on its own schedule.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!(first = ax_.application(pid)) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(first, nullptr);
    AXElement again = ax_.application(pid);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(text(again, "AXRole"), "AXApplication");
    EXPECT_NE(elementOf(ax_.copyAttributeValue(again, "AXMainWindow")), nullptr);
    other.stop();
    EXPECT_EQ(ax_.application(pid), nullptr);
    // The suite's own window is still found.
    EXPECT_NE(ax_.application(window_->pid()), nullptr);
}

TEST_F(AccessibilityContractTest, WebAreaHasItsAddressAsAUrl) {
    // Found breadth-first from the main window, as the page-address search does.
    AXElement application = ax_.application(window_->pid());
    ASSERT_NE(application, nullptr);
    std::vector<AXElement> queue{elementOf(ax_.copyAttributeValue(application, "AXMainWindow"))};
    AXElement webArea;
    for (std::size_t next = 0; next < queue.size() && next < 400 && !webArea; ++next) {
        if (!queue[next]) continue;
        if (text(queue[next], "AXRole") == "AXWebArea") {
            webArea = queue[next];
            break;
        }
        const AXValue children = ax_.copyAttributeValue(queue[next], "AXChildren");
        if (const auto* list = std::get_if<std::vector<AXElement>>(&children)) {
            queue.insert(queue.end(), list->begin(), list->end());
        }
    }
    ASSERT_NE(webArea, nullptr);
    const AXValue url = ax_.copyAttributeValue(webArea, "AXURL");
    ASSERT_TRUE(std::holds_alternative<AXURLValue>(url));
    EXPECT_EQ(std::get<AXURLValue>(url).absoluteString, "https://example.com/page?q=1");

    AXElement atPoint = at("page");
    ASSERT_NE(atPoint, nullptr);
    EXPECT_EQ(text(atPoint, "AXRole"), "AXWebArea");
}

TEST_F(AccessibilityContractTest, NothingOutsideEveryWindowAndNoAttributesOnTheSystemObject) {
    // The screen's bottom-right pixel: the test windows sit near the top-left corner.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection), 0);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const float x = static_cast<float>(screen->width_in_pixels - 1);
    const float y = static_cast<float>(screen->height_in_pixels - 1);
    xcb_disconnect(connection);
    EXPECT_EQ(ax_.elementAtPosition(systemWide_, x, y), nullptr);
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(ax_.copyAttributeValue(systemWide_, "AXRole")));
}

TEST_F(AccessibilityContractTest, TheWindowOnTopWinsOverTheActiveWindowBehindIt) {
    // A second window over the first one, mapped without taking the focus: the first stays
    // active, but the point belongs to the one on top.
    TestWindow overlay;
    ASSERT_TRUE(
        overlay.start({"--title", "Media Overlay Window", "--at", "200,120", "--no-focus"}));
    const auto [x, y] = overlay.centre("button");
    const auto& under = window_->layout["frame"];
    ASSERT_LT(x, under[0].get<float>() + under[2].get<float>()) << "the windows must overlap";
    ASSERT_LT(y, under[1].get<float>() + under[3].get<float>());

    AXElement element = ax_.elementAtPosition(systemWide_, x, y);
    std::optional<std::string> windowTitle;
    for (int level = 0; element && level < 20; ++level) {
        if (text(element, "AXRole") == "AXWindow") windowTitle = text(element, "AXTitle");
        element = elementOf(ax_.copyAttributeValue(element, "AXParent"));
    }
    overlay.stop();
    EXPECT_EQ(windowTitle, "Media Overlay Window");
}

TEST_F(AccessibilityContractTest, AHungApplicationCostsNoMoreThanTheTimeoutSet) {
    AXElement button = at("button");
    ASSERT_NE(button, nullptr);
    ax_.setMessagingTimeout(button, 0.2f);
    kill(window_->pid(), SIGSTOP);
    const auto start = Clock::now();
    // Extents are never cached: this request has to reach the stopped process.
    const AXValue position = ax_.copyAttributeValue(button, "AXPosition");
    const auto elapsed = Clock::now() - start;
    kill(window_->pid(), SIGCONT);
    // Unanswered: nothing, and far sooner than the 2 s bound used when none is set.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(position));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
}

// ---- Screen capture

/// An override-redirect window of two solid halves (background pixels: no drawing needed), or
/// one without a background that never draws (its pixels are what the screen showed there).
class PatternWindow {
public:
    static constexpr std::uint32_t kLeft = 0xD02010;
    static constexpr std::uint32_t kRight = 0x1040E0;

    PatternWindow(int x, int y, int width, int height, bool painted = true) {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_) != 0) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {painted ? kLeft : std::uint32_t{XCB_BACK_PIXMAP_NONE}, 1};
        xcb_create_window(
            connection_, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
            static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            screen->root_visual,
            (painted ? XCB_CW_BACK_PIXEL : XCB_CW_BACK_PIXMAP) | XCB_CW_OVERRIDE_REDIRECT, values);
        half_ = xcb_generate_id(connection_);
        const std::uint32_t halfValues[] = {kRight};
        xcb_create_window(
            connection_, XCB_COPY_FROM_PARENT, half_, window_, static_cast<std::int16_t>(width / 2),
            0, static_cast<std::uint16_t>(width - width / 2), static_cast<std::uint16_t>(height), 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, halfValues);
        if (painted) xcb_map_window(connection_, half_);
        xcb_map_window(connection_, window_);
        const xcb_window_t root = screen->root;
        xcb_warp_pointer(connection_, XCB_NONE, root, 0, 0, 0, 0, 1, 1);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let the server paint
    }
    ~PatternWindow() { xcb_disconnect(connection_); }
    xcb_window_t id() const { return window_; }
    /// The child window that makes the right half.
    xcb_window_t rightHalf() const { return half_; }
    void warpPointer(int x, int y) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        xcb_warp_pointer(connection_, XCB_NONE, screen->root, 0, 0, 0, 0,
                         static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_window_t half_ = 0;
};

std::uint32_t rgbAt(const LinuxImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

class ScreenCaptureContractTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    }
    ShmScreenCapture capture_;
};

TEST_F(ScreenCaptureContractTest, DisplayCaptureHoldsTheWindowPixelsWhereTheyAre) {
    PatternWindow pattern(300, 200, 200, 100);
    auto content = capture_.shareableContent();
    ASSERT_TRUE(content) << content.error().description;
    ASSERT_FALSE(content.value().displays.empty());
    const ShareableDisplay display = content.value().displays.front();
    auto image = capture_.captureDisplay(display, {display.width, display.height, false, false});
    ASSERT_TRUE(image) << image.error().description;
    const LinuxImage* pixels = LinuxImage::from(image.value());
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->width(), display.width);
    EXPECT_EQ(pixels->height(), display.height);
    EXPECT_EQ(rgbAt(*pixels, 300, 200), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*pixels, 399, 299), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*pixels, 400, 200), PatternWindow::kRight);
    EXPECT_EQ(rgbAt(*pixels, 499, 299), PatternWindow::kRight);
    EXPECT_NE(rgbAt(*pixels, 500, 250), PatternWindow::kRight);
}

TEST_F(ScreenCaptureContractTest, SuccessiveCapturesSeeTheScreenAsItIsNow) {
    auto content = capture_.shareableContent();
    ASSERT_TRUE(content);
    const ShareableDisplay display = content.value().displays.front();
    // The first image is still held while the second is taken: they must not share memory.
    auto before = capture_.captureDisplay(display, {0, 0, false, false});
    ASSERT_TRUE(before);
    PatternWindow pattern(600, 300, 40, 40);
    auto after = capture_.captureDisplay(display, {0, 0, false, false});
    ASSERT_TRUE(after);
    EXPECT_NE(rgbAt(*LinuxImage::from(before.value()), 610, 310), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*LinuxImage::from(after.value()), 610, 310), PatternWindow::kLeft);
}

TEST_F(ScreenCaptureContractTest, WindowCaptureIsTheWindowAloneAtTheRequestedSize) {
    PatternWindow pattern(100, 120, 200, 100);
    auto whole = capture_.captureWindow({pattern.id(), {}}, {200, 100, false, true});
    ASSERT_TRUE(whole) << whole.error().description;
    const LinuxImage* pixels = LinuxImage::from(whole.value());
    ASSERT_EQ(pixels->width(), 200);
    ASSERT_EQ(pixels->height(), 100);
    EXPECT_EQ(rgbAt(*pixels, 0, 0), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*pixels, 199, 99), PatternWindow::kRight);

    auto half = capture_.captureWindow({pattern.id(), {}}, {100, 50, false, true});
    ASSERT_TRUE(half);
    const LinuxImage* reduced = LinuxImage::from(half.value());
    ASSERT_EQ(reduced->width(), 100);
    ASSERT_EQ(reduced->height(), 50);
    EXPECT_EQ(rgbAt(*reduced, 20, 25), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*reduced, 80, 25), PatternWindow::kRight);

    auto missing = capture_.captureWindow({0x7FFFFFF, {}}, {10, 10, false, true});
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().description.find("X11"), std::string::npos);
}

TEST_F(ScreenCaptureContractTest, AWindowThatDoesNotRedrawShowsNothingOfTheWindowsOnTopOfIt) {
    // Partly off screen, its right half under the pattern: both parts wait for a redraw that
    // never comes.
    PatternWindow silent(-40, 300, 200, 100, false);
    PatternWindow cover(60, 300, 200, 100);
    auto image = capture_.captureWindow({silent.id(), {}}, {200, 100, false, true});
    ASSERT_TRUE(image) << image.error().description;
    const LinuxImage* pixels = LinuxImage::from(image.value());
    ASSERT_EQ(pixels->width(), 200);
    ASSERT_EQ(pixels->height(), 100);
    int coverPixels = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t rgb = rgbAt(*pixels, x, y);
            if (rgb == PatternWindow::kLeft || rgb == PatternWindow::kRight) ++coverPixels;
        }
    }
    EXPECT_EQ(coverPixels, 0);
}

/// Keeps every top-level window off screen while it lives, as a compositing manager does.
class CompositingManager {
public:
    CompositingManager() : connection_(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        free(xcb_composite_query_version_reply(
            connection_, xcb_composite_query_version(connection_, 0, 4), nullptr));
        xcb_composite_redirect_subwindows(connection_, screen->root, XCB_COMPOSITE_REDIRECT_MANUAL);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    ~CompositingManager() { xcb_disconnect(connection_); }

private:
    xcb_connection_t* connection_;
};

TEST_F(ScreenCaptureContractTest, UnderACompositingManagerAWindowIsCutFromItsFrame) {
    PatternWindow frame(100, 500, 200, 100);
    PatternWindow cover(150, 450, 200, 100); // its left half lies on the frame's right half
    CompositingManager manager;
    auto image = capture_.captureWindow({frame.rightHalf(), {}}, {100, 100, false, true});
    ASSERT_TRUE(image) << image.error().description;
    const LinuxImage* pixels = LinuxImage::from(image.value());
    ASSERT_EQ(pixels->width(), 100);
    ASSERT_EQ(pixels->height(), 100);
    int others = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (rgbAt(*pixels, x, y) != PatternWindow::kRight) ++others;
        }
    }
    EXPECT_EQ(others, 0);
}

TEST_F(ScreenCaptureContractTest, PointerIsDrawnOnlyWhenAsked) {
    PatternWindow pattern(700, 500, 100, 100);
    pattern.warpPointer(720, 520);
    auto withoutCursor = capture_.captureWindow({pattern.id(), {}}, {0, 0, false, false});
    auto withCursor = capture_.captureWindow({pattern.id(), {}}, {0, 0, true, false});
    ASSERT_TRUE(withoutCursor && withCursor);
    const LinuxImage* plain = LinuxImage::from(withoutCursor.value());
    const LinuxImage* drawn = LinuxImage::from(withCursor.value());
    int differing = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 50; ++x) {
            EXPECT_EQ(rgbAt(*plain, x, y), PatternWindow::kLeft);
            if (rgbAt(*drawn, x, y) != PatternWindow::kLeft) ++differing;
        }
    }
    EXPECT_GT(differing, 10);
    EXPECT_EQ(rgbAt(*drawn, 5, 5), PatternWindow::kLeft); // above and left of the hotspot
}

TEST_F(ScreenCaptureContractTest, ShareableContentListsTheDesktopWindowsAndTheMonitor) {
    // A managed, mapped window; the accessibility suite's window is gone by now.
    TestWindow window;
    ASSERT_TRUE(window.start());
    auto content = capture_.shareableContent();
    window.stop();
    ASSERT_TRUE(content) << content.error().description;
    const auto xid = window.layout["window"].get<std::uint32_t>();
    const auto& frame = window.layout["frame"];
    bool listed = false;
    for (const ShareableWindow& candidate : content.value().windows) {
        if (candidate.windowID != xid) continue;
        listed = true;
        EXPECT_NEAR(candidate.frame.x, frame[0].get<double>(), 1);
        EXPECT_NEAR(candidate.frame.width, frame[2].get<double>(), 1);
    }
    EXPECT_TRUE(listed);
    ASSERT_FALSE(content.value().displays.empty());
    EXPECT_GT(content.value().displays.front().width, 0);
}

TEST_F(ScreenCaptureContractTest, ReducedCaptureEncodesToAJpegOfTheReducedSize) {
    PatternWindow pattern(0, 0, 400, 400);
    auto content = capture_.shareableContent();
    ASSERT_TRUE(content);
    const ShareableDisplay display = content.value().displays.front();
    auto image = capture_.captureDisplay(display, {display.width, display.height, false, false});
    ASSERT_TRUE(image);
    LinuxGraphics graphics;
    const std::int64_t width = display.width / 2;
    const std::int64_t height = display.height / 2;
    auto jpeg = graphics.encodeJPEG(graphics.drawScaled(image.value(), width, height), 0.85);
    ASSERT_TRUE(jpeg);

    tjhandle handle = tjInitDecompress();
    int decodedWidth = 0, decodedHeight = 0, subsampling = 0, colourspace = 0;
    ASSERT_EQ(tjDecompressHeader3(handle, jpeg->data(), jpeg->size(), &decodedWidth, &decodedHeight,
                                  &subsampling, &colourspace),
              0);
    EXPECT_EQ(decodedWidth, width);
    EXPECT_EQ(decodedHeight, height);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(decodedWidth * decodedHeight * 3));
    ASSERT_EQ(tjDecompress2(handle, jpeg->data(), jpeg->size(), rgb.data(), decodedWidth, 0,
                            decodedHeight, TJPF_RGB, 0),
              0);
    tjDestroy(handle);
    const std::uint8_t* left = &rgb[(100 * decodedWidth + 50) * 3];
    EXPECT_NEAR(left[0], 0xD0, 8);
    EXPECT_NEAR(left[1], 0x20, 8);
    EXPECT_NEAR(left[2], 0x10, 8);
}

/// A second X server of its own, without the shared-memory extension; DISPLAY points at it
/// while the object lives.
class ServerWithoutShm {
public:
    ServerWithoutShm() {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24",
                   "-nolisten", "tcp", "-noreset", "-extension", "MIT-SHM", nullptr);
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c = 0;
        pollfd fd{ready[0], POLLIN, 0};
        while (poll(&fd, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(ready[0]);
        if (number.empty()) return;
        if (const char* previous = std::getenv("DISPLAY")) previous_ = previous;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        started_ = true;
    }
    ~ServerWithoutShm() {
        if (previous_) setenv("DISPLAY", previous_->c_str(), 1);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return started_; }

private:
    pid_t pid_ = -1;
    bool started_ = false;
    std::optional<std::string> previous_;
};

TEST_F(ScreenCaptureContractTest, WithoutSharedMemoryThePlainRequestGivesTheSamePixels) {
    ServerWithoutShm server;
    if (!server.started()) GTEST_SKIP() << "could not start a second Xvfb";
    PatternWindow pattern(20, 30, 100, 60);
    pattern.warpPointer(40, 50);
    ShmScreenCapture capture; // connects on first use, to the server without MIT-SHM
    auto content = capture.shareableContent();
    ASSERT_TRUE(content) << content.error().description;
    const ShareableDisplay display = content.value().displays.front();
    EXPECT_EQ(display.width, 320);
    auto plain = capture.captureDisplay(display, {0, 0, false, false});
    auto withCursor = capture.captureDisplay(display, {0, 0, true, false});
    ASSERT_TRUE(plain) << plain.error().description;
    ASSERT_TRUE(withCursor) << withCursor.error().description;
    const LinuxImage* pixels = LinuxImage::from(plain.value());
    EXPECT_EQ(pixels->width(), 320);
    EXPECT_EQ(rgbAt(*pixels, 20, 30), PatternWindow::kLeft);
    EXPECT_EQ(rgbAt(*pixels, 119, 89), PatternWindow::kRight);
    int differing = 0;
    for (int y = 30; y < 90; ++y) {
        for (int x = 20; x < 70; ++x) {
            if (rgbAt(*LinuxImage::from(withCursor.value()), x, y) != rgbAt(*pixels, x, y)) {
                ++differing;
            }
        }
    }
    EXPECT_GT(differing, 10); // the pointer, drawn in only when asked
}

} // namespace
