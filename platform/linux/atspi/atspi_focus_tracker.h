// The element that last gained keyboard focus, as the applications announce it.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"

#include <functional>

/// Listens to "object:state-changed:focused" of every application and keeps the element that
/// last gained focus: a menu item under the pointer, the field a click or a Tab moved to.
/// Focus moves seldom, so the notices cost little. They arrive through the GLib main context
/// while it runs, and libatspi also dispatches them while it waits for a reply: taking one
/// makes no request, so a notice may come in the middle of another request.
class AtspiFocusTracker {
public:
    AtspiFocusTracker() = default;
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker&) = delete;
    AtspiFocusTracker& operator=(const AtspiFocusTracker&) = delete;

    /// Starts listening; later calls do nothing. `onFocus` runs after each element that gains
    /// focus is kept, inside the notice: it may not make requests.
    void start(std::function<void()> onFocus = {});
    /// The element that last gained focus and has not lost it since; null when none.
    atspi_calls::GObjectPtr<AtspiAccessible> focused() const;

private:
    static void onNotice(AtspiEvent* event, void* tracker);

    bool started_ = false;
    bool listening_ = false;
    std::function<void()> onFocus_;
    atspi_calls::GObjectPtr<AtspiAccessible> focused_;
};
