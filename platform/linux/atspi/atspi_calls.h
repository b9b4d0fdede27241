// Owning handles and single requests of libatspi shared by the accessibility port's parts.
#pragma once

#include <algorithm>
#include <atspi/atspi.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace atspi_calls {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) g_object_unref(object);
    }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
using OwnedText = std::unique_ptr<gchar, GFree>;

/// Owns the GError an AT-SPI call may set.
class CallError {
public:
    CallError() = default;
    CallError(const CallError&) = delete;
    CallError& operator=(const CallError&) = delete;
    ~CallError() { g_clear_error(&error_); }
    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    bool failed() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

using Clock = std::chrono::steady_clock;

inline Clock::time_point deadlineAfter(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

/// Milliseconds from now until `deadline`, at least 1.
inline int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 1, 60'000));
}

/// Takes a new reference to `object`.
inline GObjectPtr<AtspiAccessible> retained(AtspiAccessible* object) {
    return GObjectPtr<AtspiAccessible>(static_cast<AtspiAccessible*>(g_object_ref(object)));
}

std::optional<AtspiRole> role(AtspiAccessible* object);

/// The object's states; null when they cannot be read.
GObjectPtr<AtspiStateSet> states(AtspiAccessible* object);

/// The extents the toolkit reports in screen coordinates (some toolkits report them relative
/// to the window instead); nothing when the object has no component or the call fails.
std::optional<AtspiRect> reportedExtents(AtspiAccessible* object);

/// The first children of an object and how many it has.
struct ChildList {
    int count = 0;
    std::vector<GObjectPtr<AtspiAccessible>> first;
    /// Whether `first` holds every child up to the limit asked for, in order.
    bool complete = false;
};

/// Up to `limit` children, read until `deadline`; a failing child ends the list. The count is
/// asked unless it is known.
ChildList childList(AtspiAccessible* object, int limit, Clock::time_point deadline,
                    std::optional<int> knownCount = std::nullopt);

std::vector<GObjectPtr<AtspiAccessible>> children(AtspiAccessible* object, int limit,
                                                  Clock::time_point deadline);

/// The objects `held` holds, still held by it.
std::vector<AtspiAccessible*> pointersOf(const std::vector<GObjectPtr<AtspiAccessible>>& held);

} // namespace atspi_calls
