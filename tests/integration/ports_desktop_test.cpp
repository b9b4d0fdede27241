// Workspace, screens, permissions and the recorder's factory on a real X server.
#include "platform/linux/ewmh_workspace.h"
#include "platform/linux/xrandr_screens.h"
#include "platform/recorder_platform.h"
#include "ports_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <glib.h>

namespace {

using ports_test::activate;
using ports_test::makeWindow;
using ports_test::sh;

// Desktop entries of the tests, found through XDG_DATA_HOME (set before any workspace reads it).
const std::filesystem::path dataHome = [] {
    char pattern[] = "/tmp/ports-data-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    std::filesystem::create_directories(home / "applications");
    std::ofstream(home / "applications" / "org.example.PortsProbe.desktop")
        << "[Desktop Entry]\nType=Application\nName=Ports Probe\nExec=/bin/true\n"
           "StartupWMClass=ProbeWindowClass\n";
    std::ofstream(home / "applications" / "org.example.Zebra.desktop")
        << "[Desktop Entry]\nType=Application\nName=Zebra Notes\nExec=/bin/true\n";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    return home;
}();

class DesktopPorts : public ::testing::Test {
protected:
    void SetUp() override {
        display = x11::Connection::open();
        ASSERT_TRUE(display) << "needs an X display";
        ASSERT_FALSE(dataHome.empty());
    }
    std::shared_ptr<x11::Connection> display;
};

TEST_F(DesktopPorts, FrontmostApplicationIsNamedByItsDesktopEntryOrItsWmClass) {
    EwmhWorkspace workspace(display);
    struct Case {
        const char* instance;
        const char* className;
        bool withPid;
        const char* name;
        const char* identifier;
    };
    const Case cases[] = {
        {"ports-plain", "PortsPlain", true, "PortsPlain", "PortsPlain"},
        {"probe", "ProbeWindowClass", true, "Ports Probe", "org.example.PortsProbe"},
        {"zebra", "Zebra", true, "Zebra Notes", "org.example.Zebra"},
        {"anon", "Anonymous", false, "Anonymous", "Anonymous"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        const auto window = makeWindow(*display, c.instance, c.className, c.withPid);
        activate(*display, window);
        const auto app = workspace.frontmostApplication();
        ASSERT_TRUE(app.has_value());
        EXPECT_EQ(app->processIdentifier, c.withPid ? getpid() : -1);
        EXPECT_EQ(app->localizedName, c.name);
        EXPECT_EQ(app->bundleIdentifier, c.identifier);
        EXPECT_EQ(app->activationPolicy, ActivationPolicy::regular);
        xcb_destroy_window(display->xcb(), window);
    }
}

TEST_F(DesktopPorts, RunningApplicationsListEachProcessOnce) {
    EwmhWorkspace workspace(display);
    const auto first = makeWindow(*display, "ports-plain", "PortsPlain");
    const auto second = makeWindow(*display, "ports-plain", "PortsPlain");
    activate(*display, second);
    const auto apps = workspace.runningApplications();
    const auto mine = std::count_if(apps.begin(), apps.end(), [](const RunningApplication& a) {
        return a.processIdentifier == getpid();
    });
    EXPECT_EQ(mine, 1);
    const auto it = std::find_if(apps.begin(), apps.end(), [](const RunningApplication& a) {
        return a.processIdentifier == getpid();
    });
    ASSERT_NE(it, apps.end());
    EXPECT_EQ(it->activationPolicy, ActivationPolicy::regular);
    EXPECT_EQ(workspace.runningApplications().size(), apps.size()); // stable
    xcb_destroy_window(display->xcb(), first);
    xcb_destroy_window(display->xcb(), second);
}

TEST_F(DesktopPorts, ScreensUseTheBottomLeftConventionOfTheMainScreen) {
    XrandrScreens screens(display);
    const auto frames = screens.screenFrames();
    ASSERT_FALSE(frames.empty());
    const double width = display->screen().width_in_pixels;
    const double height = display->screen().height_in_pixels;
    EXPECT_EQ(frames[0].x, 0);
    EXPECT_EQ(frames[0].y, 0);
    EXPECT_EQ(frames[0].width, width);
    EXPECT_EQ(frames[0].height, height);
    EXPECT_EQ(screens.mainBackingScaleFactor(), 1.0);

    sh("xdotool mousemove 100 200");
    const auto pointer = screens.mouseLocation();
    EXPECT_EQ(pointer.x, 100);
    EXPECT_EQ(pointer.y, height - 200);
}

TEST(NoDisplay, TheRecorderPlatformIsBuiltAndRefusesInput) {
    const std::string saved = getenv("DISPLAY") != nullptr ? getenv("DISPLAY") : "";
    setenv("DISPLAY", ":4077", 1); // nothing listens there
    RecorderPlatform platform = makeRecorderPlatform();
    setenv("DISPLAY", saved.c_str(), 1);

    ASSERT_TRUE(platform.permissions && platform.eventLoop && platform.workspace &&
                platform.screens && platform.pasteboard && platform.clock &&
                platform.accessibility && platform.screenCapture && platform.graphics);
    EXPECT_EQ(platform.permissions->screenRecording(), PermissionState::denied);
    EXPECT_EQ(platform.permissions->inputMonitoring(), PermissionState::denied);
    EXPECT_EQ(platform.permissions->accessibility(), PermissionState::denied);
    EXPECT_FALSE(platform.eventLoop->installEventTap(0x40A, [](const InputEvent&) {}));
    EXPECT_FALSE(platform.workspace->frontmostApplication().has_value());
    EXPECT_TRUE(platform.workspace->runningApplications().empty());
    EXPECT_TRUE(platform.screens->screenFrames().empty());
    EXPECT_FALSE(platform.screens->mainBackingScaleFactor().has_value());
    EXPECT_EQ(platform.pasteboard->changeCount(), platform.pasteboard->changeCount());
    EXPECT_FALSE(platform.pasteboard->plainText().has_value());
    EXPECT_GT(platform.clock->nowMs(), 1'600'000'000'000);
    ASSERT_TRUE(platform.executablePath.has_value());
    EXPECT_EQ(*platform.executablePath, std::filesystem::read_symlink("/proc/self/exe").string());
}

} // namespace
