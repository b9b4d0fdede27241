// A window list given by the test, front to back.
#pragma once

#include "platform/window_list.h"

#include <vector>

class FakeWindowList : public WindowList {
public:
    std::vector<WindowListEntry> onScreenWindows() override { return windows; }

    std::vector<WindowListEntry> windows;
};
