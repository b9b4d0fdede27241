#include "platform/macos/ax_structure_watch.h"

#include "platform/macos/cf_ref.h"

#import <ApplicationServices/ApplicationServices.h>
#include <atomic>

namespace {

/// Elements come and go; a page that finishes loading replaces its web area.
const CFStringRef structureNotices[] = {kAXCreatedNotification, kAXUIElementDestroyedNotification,
                                        CFSTR("AXLoadComplete")};

} // namespace

struct AXStructureWatch::Observed {
    CFRef<AXObserverRef> observer;
    CFRef<AXUIElementRef> application;
    std::atomic<std::uint64_t> notices{0};

    static void onNotice(AXObserverRef, AXUIElementRef, CFStringRef, void* refcon) {
        static_cast<Observed*>(refcon)->notices.fetch_add(1, std::memory_order_relaxed);
    }

    ~Observed() {
        if (!observer) return;
        for (CFStringRef notice : structureNotices)
            AXObserverRemoveNotification(observer.get(), application.get(), notice);
        CFRunLoopRemoveSource(CFRunLoopGetMain(), AXObserverGetRunLoopSource(observer.get()),
                              kCFRunLoopDefaultMode);
    }
};

AXStructureWatch::AXStructureWatch() = default;
AXStructureWatch::~AXStructureWatch() = default;

std::optional<std::uint64_t> AXStructureWatch::changes(std::int32_t pid) {
    if (pid <= 0) return std::nullopt;
    if (auto known = observed_.find(pid); known != observed_.end()) {
        if (!known->second->observer) return std::nullopt;
        return known->second->notices.load(std::memory_order_relaxed);
    }
    if (observed_.size() >= observedLimit) observed_.erase(observed_.begin());

    auto observed = std::make_unique<Observed>();
    AXObserverRef created = nullptr;
    if (AXObserverCreate(static_cast<pid_t>(pid), &Observed::onNotice, &created) ==
        kAXErrorSuccess) {
        observed->observer = CFRef<AXObserverRef>(created);
        observed->application = CFRef<AXUIElementRef>(AXUIElementCreateApplication(pid));
        bool any = false;
        for (CFStringRef notice : structureNotices) {
            any |= AXObserverAddNotification(observed->observer.get(), observed->application.get(),
                                             notice, observed.get()) == kAXErrorSuccess;
        }
        if (any) {
            CFRunLoopAddSource(CFRunLoopGetMain(),
                               AXObserverGetRunLoopSource(observed->observer.get()),
                               kCFRunLoopDefaultMode);
        } else {
            observed->observer.reset();
        }
    } else if (created != nullptr) {
        CFRelease(created);
    }
    // A refusal is remembered too: it is not asked again on every probe.
    const bool observing = static_cast<bool>(observed->observer);
    observed_.emplace(pid, std::move(observed));
    if (!observing) return std::nullopt;
    return 0;
}
