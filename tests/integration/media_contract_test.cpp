// Contract tests of the media ports on a real X desktop: AT-SPI accessibility against the
// accessible GTK window of test_window.py, screen capture of windows with known pixels, JPEG
// of a capture. Needs DISPLAY and the accessibility bus (scripts/with-virtual-desktop).
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/linux_graphics.h"
#include "platform/linux/linux_image.h"
#include "platform/linux/shm_screen_capture.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <turbojpeg.h>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

/// Polls `done` until it holds; the guard only keeps a broken test from hanging.
bool eventually(const std::function<bool()>& done) {
    const auto guard = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (Clock::now() > guard) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

/// The GTK window of test_window.py in its own process, with the layout it reported.
class TestWindow {
public:
    explicit TestWindow(const std::vector<std::string>& arguments) {
        std::string command = "exec /usr/bin/python3 " TEST_WINDOW;
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        output_ = popen(command.c_str(), "r");
        char line[4096];
        if (output_ != nullptr && fgets(line, sizeof line, output_) != nullptr)
            layout = nlohmann::json::parse(line);
    }
    ~TestWindow() { stop(); }
    void stop() {
        if (output_ == nullptr) return;
        if (started()) {
            kill(pid(), SIGCONT);
            kill(pid(), SIGTERM);
        }
        pclose(output_);
        output_ = nullptr;
    }
    bool started() const { return !layout.is_null(); }
    pid_t pid() const { return layout["pid"].get<pid_t>(); }
    /// A widget's rectangle, or "frame" for the window's.
    std::array<float, 4> rect(const std::string& widget) const {
        const auto& r = widget == "frame" ? layout["frame"] : layout["widgets"][widget];
        return {r[0].get<float>(), r[1].get<float>(), r[2].get<float>(), r[3].get<float>()};
    }
    std::pair<float, float> centre(const std::string& widget) const {
        const auto r = rect(widget);
        return {r[0] + r[2] / 2, r[1] + r[3] / 2};
    }

    nlohmann::json layout;

private:
    FILE* output_ = nullptr;
};

AXElement elementOf(const AXValue& value) {
    if (const auto* element = std::get_if<AXElement>(&value)) return *element;
    return nullptr;
}

/// A value as one comparable text: "none", "text:…", "number:…" or the kind held.
std::string describe(const AXValue& value) {
    if (std::holds_alternative<std::monostate>(value)) return "none";
    if (const auto* text = std::get_if<std::string>(&value)) return "text:" + *text;
    if (const auto* number = std::get_if<AXNumber>(&value)) return "number:" + number->decimalText;
    if (const auto* url = std::get_if<AXURLValue>(&value)) return "url:" + url->absoluteString;
    return "other";
}

constexpr const char* kTitle = "Media Contract Window";
constexpr const char* kPage = "https://example.com/page?q=1";

class AccessibilityContractTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        window_ = new TestWindow(
            {"--title", kTitle, "--at", "40,40", "--value", "Hello, 世界", "--url", kPage});
    }
    static void TearDownTestSuite() {
        delete window_;
        window_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(window_->started()) << "the GTK test window did not start";
        // A live application answers as soon as it can; only the hung-application case
        // needs a short bound, so a loaded machine cannot make a request run out of time.
        systemWide_ = ax_.systemWide();
        ax_.setMessagingTimeout(systemWide_, 30);
    }
    AXElement at(const TestWindow& window, const std::string& widget) {
        const auto [x, y] = window.centre(widget);
        return ax_.elementAtPosition(systemWide_, x, y);
    }
    std::string attribute(const AXElement& element, std::string_view name) {
        return describe(ax_.copyAttributeValue(element, name));
    }
    /// The title of the first window among the element's ancestors.
    std::string windowAbove(AXElement element) {
        for (int level = 0; element && level < 20; ++level) {
            if (attribute(element, "AXRole") == "text:AXWindow")
                return attribute(element, "AXTitle");
            element = elementOf(ax_.copyAttributeValue(element, "AXParent"));
        }
        return "none";
    }
    AXElement application(pid_t pid) {
        AXElement found;
        eventually([&] { return (found = ax_.application(pid)) != nullptr; });
        ax_.setMessagingTimeout(found, 30);
        return found;
    }

    static TestWindow* window_;
    AtspiAccessibility ax_;
    AXElement systemWide_;
};
TestWindow* AccessibilityContractTest::window_ = nullptr;

TEST_F(AccessibilityContractTest, WidgetUnderThePointHasItsRoleTitleValueAndFrame) {
    struct Case {
        const char* widget;
        const char* role;
        const char* subrole;
        const char* title;
        const char* value;
    };
    const Case cases[] = {
        {"save", "text:AXButton", "none", "text:Save", "none"},
        {"password", "text:AXSecureTextField", "text:AXSecureTextField", "text:Password", "none"},
        {"name", "text:AXTextField", "none", "text:Customer name", "text:Hello, 世界"},
        {"check", "text:AXCheckBox", "none", "text:Remember me", "number:1"},
        {"scale", "text:AXSlider", "none", "text:", "number:42.5"},
        {"heading", "text:AXStaticText", "none", "text:Customer form", "text:Customer form"},
        {"page", "text:AXWebArea", "none", "text:Test page", "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget);
        AXElement element = at(*window_, c.widget);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(attribute(element, "AXRole"), c.role);
        EXPECT_EQ(attribute(element, "AXSubrole"), c.subrole);
        EXPECT_EQ(attribute(element, "AXTitle"), c.title);
        EXPECT_EQ(attribute(element, "AXValue"), c.value);
        const auto rect = window_->rect(c.widget);
        const AXValue position = ax_.copyAttributeValue(element, "AXPosition");
        const AXValue size = ax_.copyAttributeValue(element, "AXSize");
        ASSERT_TRUE(std::holds_alternative<geo::Point>(position));
        ASSERT_TRUE(std::holds_alternative<geo::Size>(size));
        EXPECT_NEAR(std::get<geo::Point>(position).x, rect[0], 2);
        EXPECT_NEAR(std::get<geo::Point>(position).y, rect[1], 2);
        EXPECT_NEAR(std::get<geo::Size>(size).width, rect[2], 2);
        EXPECT_NEAR(std::get<geo::Size>(size).height, rect[3], 2);
    }
    EXPECT_EQ(attribute(at(*window_, "save"), "AXRoleDescription"), "text:push button");
}

TEST_F(AccessibilityContractTest, ParentsChildrenAndWindowsLeadThroughTheTree) {
    std::vector<std::string> roles;
    for (AXElement element = at(*window_, "save"); element && roles.size() < 20;
         element = elementOf(ax_.copyAttributeValue(element, "AXParent"))) {
        roles.push_back(attribute(element, "AXRole"));
    }
    ASSERT_GE(roles.size(), 3u);
    EXPECT_EQ(roles.front(), "text:AXButton");
    EXPECT_EQ(roles.back(), "text:AXApplication");
    EXPECT_EQ(windowAbove(at(*window_, "save")), std::string("text:") + kTitle);

    const AXValue children = ax_.copyAttributeValue(
        elementOf(ax_.copyAttributeValue(at(*window_, "name"), "AXParent")), "AXChildren");
    ASSERT_TRUE(std::holds_alternative<std::vector<AXElement>>(children));
    std::vector<std::string> titles;
    for (const AXElement& child : std::get<std::vector<AXElement>>(children))
        titles.push_back(attribute(child, "AXTitle"));
    EXPECT_GE(titles.size(), 7u);
    for (const char* title : {"text:Customer name", "text:Remember me", "text:Test page"}) {
        EXPECT_NE(std::find(titles.begin(), titles.end(), title), titles.end()) << title;
    }

    AXElement app = application(window_->pid());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(attribute(app, "AXRole"), "text:AXApplication");
    AXElement main = elementOf(ax_.copyAttributeValue(app, "AXMainWindow"));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(attribute(main, "AXRole"), "text:AXWindow");
    EXPECT_EQ(attribute(main, "AXTitle"), std::string("text:") + kTitle);
    EXPECT_EQ(attribute(main, "AXURL"), "none");
    // The focused window, when the desktop gave one, is the same window.
    if (AXElement focused = elementOf(ax_.copyAttributeValue(app, "AXFocusedWindow"))) {
        EXPECT_EQ(attribute(focused, "AXTitle"), std::string("text:") + kTitle);
    }
    EXPECT_EQ(ax_.application(0x7FFFFFF0), nullptr);

    // The web area, breadth first from the main window as the page-address search goes.
    std::vector<AXElement> queue{main};
    AXElement webArea;
    for (std::size_t next = 0; next < queue.size() && next < 400 && !webArea; ++next) {
        if (attribute(queue[next], "AXRole") == "text:AXWebArea") webArea = queue[next];
        const AXValue list = ax_.copyAttributeValue(queue[next], "AXChildren");
        if (const auto* elements = std::get_if<std::vector<AXElement>>(&list))
            queue.insert(queue.end(), elements->begin(), elements->end());
    }
    ASSERT_NE(webArea, nullptr);
    EXPECT_EQ(attribute(webArea, "AXURL"), std::string("url:") + kPage);
}

TEST_F(AccessibilityContractTest, AnApplicationIsFoundUntilItsProcessEnds) {
    TestWindow other({"--title", "Second Window"});
    ASSERT_TRUE(other.started());
    const pid_t pid = other.pid();
    ASSERT_NE(application(pid), nullptr); // it registers with the bus on its own schedule
    AXElement again = ax_.application(pid);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(elementOf(ax_.copyAttributeValue(again, "AXMainWindow")), nullptr);
    other.stop();
    // The bus learns of the end asynchronously.
    EXPECT_TRUE(eventually([&] { return ax_.application(pid) == nullptr; }));
    EXPECT_NE(ax_.application(window_->pid()), nullptr);
}

TEST_F(AccessibilityContractTest, NothingOutsideEveryWindowAndNoAttributesOnTheSystemObject) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    // The screen's bottom-right pixel: the test windows sit near the top-left corner.
    const float x = static_cast<float>(screen->width_in_pixels - 1);
    const float y = static_cast<float>(screen->height_in_pixels - 1);
    xcb_disconnect(connection);
    EXPECT_EQ(ax_.elementAtPosition(systemWide_, x, y), nullptr);
    EXPECT_EQ(attribute(systemWide_, "AXRole"), "none");
}

TEST_F(AccessibilityContractTest, TheWindowOnTopWinsOverTheActiveWindowBehindIt) {
    // Mapped over the first window without taking the focus: the first stays active.
    TestWindow overlay({"--title", "Media Overlay Window", "--at", "200,120", "--no-focus"});
    ASSERT_TRUE(overlay.started());
    const auto [x, y] = overlay.centre("save");
    const auto under = window_->rect("frame");
    ASSERT_TRUE(x < under[0] + under[2] && y < under[1] + under[3]) << "the windows must overlap";
    EXPECT_EQ(windowAbove(ax_.elementAtPosition(systemWide_, x, y)), "text:Media Overlay Window");
}

TEST_F(AccessibilityContractTest, AHungApplicationCostsTheTimeoutSetNotTheDefault) {
    AXElement bounded = at(*window_, "save");
    AXElement unbounded = at(*window_, "save");
    ASSERT_TRUE(bounded && unbounded);
    ax_.setMessagingTimeout(bounded, 0.2f);
    ax_.setMessagingTimeout(unbounded, 2.0f);
    kill(window_->pid(), SIGSTOP);
    // Extents are never cached: these requests have to reach the stopped process.
    auto timed = [&](const AXElement& element) {
        const auto start = Clock::now();
        EXPECT_EQ(attribute(element, "AXPosition"), "none");
        return Clock::now() - start;
    };
    const auto shortWait = timed(bounded);
    const auto longWait = timed(unbounded);
    kill(window_->pid(), SIGCONT);
    // Compared with each other rather than with a clock, so that load cannot decide it.
    EXPECT_LT(shortWait, longWait);
}

TEST_F(AccessibilityContractTest, ShareableContentListsTheDesktopWindowsAndTheMonitor) {
    ShmScreenCapture capture;
    auto content = capture.shareableContent();
    ASSERT_TRUE(content) << content.error().description;
    const auto xid = window_->layout["window"].get<std::uint32_t>();
    const auto frame = window_->rect("frame");
    const auto& windows = content.value().windows;
    const auto listed = std::find_if(windows.begin(), windows.end(),
                                     [&](const ShareableWindow& w) { return w.windowID == xid; });
    ASSERT_NE(listed, windows.end());
    EXPECT_NEAR(listed->frame.x, frame[0], 1);
    EXPECT_NEAR(listed->frame.width, frame[2], 1);
    ASSERT_FALSE(content.value().displays.empty());
    EXPECT_GT(content.value().displays.front().width, 0);
}

// ---- Screen capture

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

/// Pixels in [x0, x1) × [y0, y1) for which `counted(x, y)` holds.
int countPixels(int x0, int y0, int x1, int y1, const std::function<bool(int, int)>& counted) {
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            count += counted(x, y) ? 1 : 0;
    return count;
}

class ScreenCaptureContractTest : public ::testing::Test {
protected:
    ShareableDisplay display() {
        auto content = capture_.shareableContent();
        EXPECT_TRUE(content && !content.value().displays.empty());
        return content ? content.value().displays.front() : ShareableDisplay{};
    }
    Image window(xcb_window_t id, std::int64_t width, std::int64_t height, bool cursor = false) {
        auto image = capture_.captureWindow({id, {}}, {width, height, cursor, true});
        EXPECT_TRUE(image) << image.error().description;
        return image ? std::move(image.value()) : Image{};
    }
    ShmScreenCapture capture_;
};

TEST_F(ScreenCaptureContractTest, DisplayCapturesSeeTheScreenAsItIsNowAndEncodeReduced) {
    const ShareableDisplay screen = display();
    // The first image is still held while the second is taken: they must not share memory.
    auto before = capture_.captureDisplay(screen, {0, 0, false, false});
    PatternWindow pattern(300, 200, 200, 100);
    auto after = capture_.captureDisplay(screen, {screen.width, screen.height, false, false});
    ASSERT_TRUE(before && after);
    EXPECT_NE(rgbAt(before.value(), 310, 210), kLeft);
    EXPECT_EQ(LinuxImage::from(after.value())->width(), screen.width);
    EXPECT_EQ(LinuxImage::from(after.value())->height(), screen.height);
    for (auto [x, y, rgb] :
         {std::tuple{300, 200, kLeft}, {399, 299, kLeft}, {400, 200, kRight}, {499, 299, kRight}}) {
        EXPECT_EQ(rgbAt(after.value(), x, y), rgb) << x << "," << y;
    }
    EXPECT_NE(rgbAt(after.value(), 500, 250), kRight);

    LinuxGraphics graphics;
    const std::int64_t width = screen.width / 2, height = screen.height / 2;
    auto jpeg = graphics.encodeJPEG(graphics.drawScaled(after.value(), width, height), 0.85);
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
    const std::uint8_t* left = &rgb[(125 * decodedWidth + 175) * 3]; // (350, 250) halved
    EXPECT_NEAR(left[0], 0xD0, 8);
    EXPECT_NEAR(left[1], 0x20, 8);
    EXPECT_NEAR(left[2], 0x10, 8);
}

TEST_F(ScreenCaptureContractTest, WindowCaptureIsTheWindowAloneAtTheRequestedSize) {
    PatternWindow pattern(100, 120, 200, 100);
    // size; a point of the left half; a point of the right half
    for (auto [width, height, left, right] :
         {std::tuple{200, 100, std::pair{0, 0}, std::pair{199, 99}},
          {100, 50, {20, 25}, {80, 25}}}) {
        const Image image = window(pattern.id(), width, height);
        ASSERT_EQ(LinuxImage::from(image)->width(), width);
        ASSERT_EQ(LinuxImage::from(image)->height(), height);
        EXPECT_EQ(rgbAt(image, left.first, left.second), kLeft);
        EXPECT_EQ(rgbAt(image, right.first, right.second), kRight);
    }
    auto missing = capture_.captureWindow({0x7FFFFFF, {}}, {10, 10, false, true});
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().description.find("X11"), std::string::npos);
}

TEST_F(ScreenCaptureContractTest, WindowCaptureShowsNothingOfTheWindowsOnTopOfIt) {
    {
        // Partly off screen, its right half under the pattern: both parts wait for a redraw
        // that never comes.
        PatternWindow silent(-40, 300, 200, 100, false);
        PatternWindow cover(60, 300, 200, 100);
        const Image image = window(silent.id(), 200, 100);
        EXPECT_EQ(countPixels(0, 0, 200, 100,
                              [&](int x, int y) {
                                  const std::uint32_t rgb = rgbAt(image, x, y);
                                  return rgb == kLeft || rgb == kRight;
                              }),
                  0);
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
    const Image image = window(frame.rightHalf(), 100, 100);
    EXPECT_EQ(
        countPixels(0, 0, 100, 100, [&](int x, int y) { return rgbAt(image, x, y) != kRight; }), 0);
    xcb_disconnect(manager);
}

TEST_F(ScreenCaptureContractTest, PointerIsDrawnOnlyWhenAsked) {
    PatternWindow pattern(700, 500, 100, 100);
    pattern.warpPointer(720, 520);
    const Image plain = window(pattern.id(), 0, 0);
    const Image drawn = window(pattern.id(), 0, 0, true);
    EXPECT_EQ(countPixels(0, 0, 50, 100, [&](int x, int y) { return rgbAt(plain, x, y) != kLeft; }),
              0);
    EXPECT_GT(countPixels(0, 0, 50, 100, [&](int x, int y) { return rgbAt(drawn, x, y) != kLeft; }),
              10);
    EXPECT_EQ(rgbAt(drawn, 5, 5), kLeft); // above and left of the hotspot
}

/// A second X server of its own, without the shared-memory extension; DISPLAY points at it
/// while the object lives. Starts are serialised with scripts/with-virtual-desktop's.
class ServerWithoutShm {
public:
    ServerWithoutShm() {
        const char* tmp = std::getenv("TMPDIR");
        const std::string lockPath =
            std::string(tmp ? tmp : "/tmp") + "/.with-virtual-desktop.lock";
        const int lock = open(lockPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (lock >= 0) flock(lock, LOCK_EX);
        int ready[2];
        if (pipe(ready) == 0) {
            pid_ = fork();
            if (pid_ == 0) {
                close(ready[0]);
                const std::string fd = std::to_string(ready[1]);
                execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24",
                       "-nolisten", "tcp", "-noreset", "-extension", "MIT-SHM", nullptr);
                _exit(127);
            }
            close(ready[1]);
            FILE* announced = fdopen(ready[0], "r");
            char line[32] = {};
            if (fgets(line, sizeof line, announced) != nullptr)
                number_ = std::to_string(std::atoi(line));
            fclose(announced);
        }
        if (lock >= 0) close(lock);
        if (number_.empty()) return;
        if (const char* previous = std::getenv("DISPLAY")) previous_ = previous;
        setenv("DISPLAY", (":" + number_).c_str(), 1);
    }
    ~ServerWithoutShm() {
        if (previous_) setenv("DISPLAY", previous_->c_str(), 1);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return !number_.empty(); }

private:
    pid_t pid_ = -1;
    std::string number_;
    std::optional<std::string> previous_;
};

TEST_F(ScreenCaptureContractTest, WithoutSharedMemoryThePlainRequestGivesTheSamePixels) {
    ServerWithoutShm server;
    ASSERT_TRUE(server.started()) << "could not start a second Xvfb";
    PatternWindow pattern(20, 30, 100, 60);
    pattern.warpPointer(40, 50);
    ShmScreenCapture capture; // connects on first use, to the server without MIT-SHM
    auto content = capture.shareableContent();
    ASSERT_TRUE(content) << content.error().description;
    const ShareableDisplay screen = content.value().displays.front();
    EXPECT_EQ(screen.width, 320);
    auto plain = capture.captureDisplay(screen, {0, 0, false, false});
    auto withCursor = capture.captureDisplay(screen, {0, 0, true, false});
    ASSERT_TRUE(plain && withCursor);
    EXPECT_EQ(LinuxImage::from(plain.value())->width(), 320);
    EXPECT_EQ(rgbAt(plain.value(), 20, 30), kLeft);
    EXPECT_EQ(rgbAt(plain.value(), 119, 89), kRight);
    EXPECT_GT(countPixels(20, 30, 70, 90,
                          [&](int x, int y) {
                              return rgbAt(withCursor.value(), x, y) != rgbAt(plain.value(), x, y);
                          }),
              10); // the pointer, drawn in only when asked
}

} // namespace
