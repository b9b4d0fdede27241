// A window list given by the test, front to back.
#pragma once

#include "platform/window_list.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class FakeWindowList : public WindowList {
public:
    /// Appends an ordinary window entry behind those already added.
    FakeWindowList& add(std::int32_t pid, std::int64_t layer, std::optional<std::string> name,
                        std::uint32_t number) {
        windows.push_back({pid, layer, std::move(name), number});
        return *this;
    }

    std::vector<WindowListEntry> onScreenWindows() override {
        ++queries;
        return windows;
    }

    std::vector<WindowListEntry> windows;
    int queries = 0;
};
