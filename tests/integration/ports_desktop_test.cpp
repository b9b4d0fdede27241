// Workspace, screens, permissions and the recorder's factory on a real X server.
#include "platform/linux/ewmh_workspace.h"
#include "platform/linux/linux_permissions.h"
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

TEST_F(DesktopPorts, FrontmostApplicationWithoutDesktopEntryIsNamedByWmClass) {
    EwmhWorkspace workspace(display);
    const auto window = makeWindow(*display, "ports-plain", "PortsPlain");
    activate(*display, window);
    const auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->processIdentifier, getpid());
    EXPECT_EQ(app->localizedName, "PortsPlain");
    EXPECT_EQ(app->bundleIdentifier, "PortsPlain");
    EXPECT_EQ(app->activationPolicy, ActivationPolicy::regular);
    xcb_destroy_window(display->xcb(), window);
}

TEST_F(DesktopPorts, DesktopEntriesGiveNameAndIdentifier) {
    EwmhWorkspace workspace(display);
    const auto byStartupClass = makeWindow(*display, "probe", "ProbeWindowClass");
    activate(*display, byStartupClass);
    auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->localizedName, "Ports Probe");
    EXPECT_EQ(app->bundleIdentifier, "org.example.PortsProbe");

    const auto byReverseDns = makeWindow(*display, "zebra", "Zebra");
    activate(*display, byReverseDns);
    app = workspace.frontmostApplication();
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->localizedName, "Zebra Notes");
    EXPECT_EQ(app->bundleIdentifier, "org.example.Zebra");
    xcb_destroy_window(display->xcb(), byStartupClass);
    xcb_destroy_window(display->xcb(), byReverseDns);
}

TEST_F(DesktopPorts, WindowWithoutPidGivesMinusOne) {
    EwmhWorkspace workspace(display);
    const auto window = makeWindow(*display, "anon", "Anonymous", /*withPid=*/false);
    activate(*display, window);
    const auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->processIdentifier, -1);
    EXPECT_EQ(app->localizedName, "Anonymous");
    xcb_destroy_window(display->xcb(), window);
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

TEST_F(DesktopPorts, PermissionsAreGrantedOnAFullDesktop) {
    LinuxPermissions permissions(display);
    EXPECT_EQ(permissions.screenRecording(), PermissionState::granted);
    EXPECT_EQ(permissions.inputMonitoring(), PermissionState::granted);
    EXPECT_EQ(permissions.accessibility(), PermissionState::granted);
    permissions.request(); // harmless when already on
    EXPECT_EQ(permissions.accessibility(), PermissionState::granted);
}

TEST(NoDisplay, PortsAnswerDeniedAndEmpty) {
    LinuxPermissions permissions(nullptr);
    EXPECT_EQ(permissions.screenRecording(), PermissionState::denied);
    EXPECT_EQ(permissions.inputMonitoring(), PermissionState::denied);
    EXPECT_EQ(permissions.accessibility(), PermissionState::denied);
    EwmhWorkspace workspace(nullptr);
    EXPECT_FALSE(workspace.frontmostApplication().has_value());
    EXPECT_TRUE(workspace.runningApplications().empty());
    XrandrScreens screens(nullptr);
    EXPECT_TRUE(screens.screenFrames().empty());
    EXPECT_FALSE(screens.mainBackingScaleFactor().has_value());
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
    EXPECT_TRUE(platform.screens->screenFrames().empty());
    EXPECT_EQ(platform.pasteboard->changeCount(), platform.pasteboard->changeCount());
    EXPECT_FALSE(platform.pasteboard->plainText().has_value());
    EXPECT_GT(platform.clock->nowMs(), 1'600'000'000'000);
    ASSERT_TRUE(platform.executablePath.has_value());
    EXPECT_EQ(*platform.executablePath, std::filesystem::read_symlink("/proc/self/exe").string());
}

} // namespace
