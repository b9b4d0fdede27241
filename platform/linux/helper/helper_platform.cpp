// The helper's ports on an X11 desktop. Without a display every port still exists: there is
// then no frontmost application, no window and no display to capture. Ports answered with X
// requests alone are built here; the others come from the engine module, loaded on first use,
// so `context` pays only for X requests.
#include "platform/helper_platform.h"

#include "platform/linux/desktop_entry_naming.h"
#include "platform/linux/helper/helper_engine_loader.h"
#include "platform/linux/helper/unavailable_script_runner.h"
#include "platform/linux/text/unavailable_language_model.h"
#include "platform/linux/x11/ewmh_workspace.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_window_list.h"
#include "platform/linux/x11/xrandr_screens.h"
#include "platform/linux/x11/xss_idle_time.h"

HelperPlatform makeHelperPlatform() {
    std::shared_ptr<x11::Connection> display = x11::Connection::open();
    HelperPlatform platform;
    platform.workspace = std::make_unique<EwmhWorkspace>(display, desktopEntryNaming());
    platform.screens = std::make_unique<XrandrScreens>(display);
    platform.windowList = std::make_unique<X11WindowList>(display);
    platform.idleTime = std::make_unique<XssIdleTime>(display);
    platform.languageModel = std::make_unique<UnavailableLanguageModel>();
    platform.scriptRunner = std::make_unique<UnavailableScriptRunner>();
    attachHelperEngines(platform, std::make_shared<HelperEngineLoader>(helperEnginesPath()));
    return platform;
}
