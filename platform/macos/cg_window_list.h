#pragma once

#include "platform/window_list.h"

class CGWindowListPort final : public WindowList {
public:
    std::vector<WindowListEntry> onScreenWindows() override;
};
