// Windows as the applications announce that they become active.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"

#include <functional>

/// Listens to "object:state-changed:active" of every application and hands each element that
/// becomes active (a window) to `onActive`, inside the notice: it may not make requests.
class AtspiWindowActivation {
public:
    AtspiWindowActivation() = default;
    ~AtspiWindowActivation();
    AtspiWindowActivation(const AtspiWindowActivation&) = delete;
    AtspiWindowActivation& operator=(const AtspiWindowActivation&) = delete;

    /// Starts listening; later calls do nothing.
    void start(std::function<void(AtspiAccessible*)> onActive);

private:
    static void onNotice(AtspiEvent* event, void* activation);

    bool started_ = false;
    bool listening_ = false;
    std::function<void(AtspiAccessible*)> onActive_;
};
