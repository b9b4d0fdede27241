// The element that last gained keyboard focus, as the applications announce it.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

/// Listens to "object:state-changed:focused" of every application and keeps the elements that
/// last gained focus, with the wall-clock moment each notice came: a menu item under the
/// pointer, the field a click or a Tab moved to. Focus moves seldom, so the notices cost
/// little. They arrive through the GLib main context while it runs, and libatspi also
/// dispatches them while it waits for a reply: taking one makes no request, so a notice may
/// come in the middle of another request.
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
    /// The element that had focus at wall-clock `atMs`: what a key pressed then went to, before
    /// the key's own effect (a dialog it opened) moved the focus. The one that gained it last
    /// before then and kept it; else the first to lose it after then (one that gained it
    /// before any notice came). Null when none is known to have had it then.
    atspi_calls::GObjectPtr<AtspiAccessible> focusedAt(std::int64_t atMs) const;
    /// Keeps `element`, found focused without a notice (LibreOffice announces none for its
    /// document), as gaining focus now, unless it is the last one kept.
    void found(AtspiAccessible* element);

private:
    static void onNotice(AtspiEvent* event, void* tracker);
    void gained(AtspiAccessible* element);

    struct Gain {
        atspi_calls::GObjectPtr<AtspiAccessible> element;
        std::int64_t gainedMs = 0;
        std::optional<std::int64_t> lostMs;
    };
    struct Loss {
        atspi_calls::GObjectPtr<AtspiAccessible> element;
        std::int64_t lostMs = 0;
    };

    bool started_ = false;
    bool listening_ = false;
    std::function<void()> onFocus_;
    /// The last gains, oldest first.
    std::deque<Gain> gains_;
    /// The last losses, oldest first.
    std::deque<Loss> losses_;
};
