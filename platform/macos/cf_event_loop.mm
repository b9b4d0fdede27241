#include "platform/macos/cf_event_loop.h"

#include "platform/macos/cf_ref.h"
#include "platform/macos/ns_clock.h"
#include "platform/macos/ns_string.h"
#include "platform/posix/interrupt_pipe.h"

#import <AppKit/AppKit.h>
#import <ApplicationServices/ApplicationServices.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <vector>

struct CFEventLoop::State {
    std::function<void(const InputEvent&)> tapCallback;
    CFRef<CFMachPortRef> tap;
    CFRef<CFRunLoopSourceRef> tapSource;
    std::unique_ptr<InterruptPipe> interrupt;
    dispatch_source_t interruptSource = nil;
    std::function<void()> interruptHandler;
    dispatch_source_t parentTimer = nil;
    std::function<void(ParentGone)> parentGone;
    std::function<void()> displayLost; // kept only: the end of the session ends the process
};

namespace {

short pollOnce(int fd, short events) {
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, 0) > 0 ? entry.revents : 0;
}

// A pipe whose reader is gone, or a terminal that hung up. (Darwin reports a hang-up only for
// the events asked for, so writability is asked for and ignored.)
bool outputGone(int fd) {
    return (pollOnce(fd, POLLOUT) & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The end of the input, told apart from waiting answer bytes without reading them.
bool inputAtEnd(int fd) {
    const short revents = pollOnce(fd, POLLIN);
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    int waiting = 0;
    return (revents & POLLIN) != 0 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting == 0;
}

// When `event` happened, on the recorder clock's scale. Event timestamps count nanoseconds of
// uptime (CLOCK_UPTIME_RAW), so the event's age is taken off the wall clock's now.
std::optional<std::int64_t> wallClockMs(CGEventRef event) {
    const CGEventTimestamp happened = CGEventGetTimestamp(event);
    if (happened == 0) return std::nullopt; // posted without a time
    const std::uint64_t now = clock_gettime_nsec_np(CLOCK_UPTIME_RAW);
    const std::uint64_t ageNs = happened < now ? now - happened : 0;
    return NSClock().nowMs() - static_cast<std::int64_t>(ageNs / 1'000'000);
}

InputEvent decode(CGEventType type, CGEventRef event) {
    InputEvent decoded;
    decoded.type = static_cast<std::uint32_t>(type);
    if (event == nullptr) return decoded;
    decoded.flags = static_cast<std::uint64_t>(CGEventGetFlags(event));
    decoded.keyCode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
    decoded.clickState = CGEventGetIntegerValueField(event, kCGMouseEventClickState);
    decoded.timestampMs = wallClockMs(event);
    if (type == kCGEventLeftMouseDown || type == kCGEventRightMouseDown) {
        // Global points from the main display's top-left corner, as the pointer was then.
        const CGPoint location = CGEventGetLocation(event);
        decoded.location = geo::Point{location.x, location.y};
        const std::int64_t window =
            CGEventGetIntegerValueField(event, kCGMouseEventWindowUnderMousePointer);
        if (window > 0 && window <= UINT32_MAX)
            decoded.windowNumber = static_cast<std::uint32_t>(window);
    }
    if (type == kCGEventKeyDown) {
        UniChar units[4] = {0, 0, 0, 0};
        UniCharCount length = 0;
        CGEventKeyboardGetUnicodeString(event, 4, &length, units);
        if (length > 4) length = 4;
        for (UniCharCount i = 0; i < length; ++i) {
            decoded.characters.push_back(static_cast<char16_t>(units[i]));
        }
    }
    return decoded;
}

CGEventRef tapCallback(CGEventTapProxy, CGEventType type, CGEventRef event, void* userInfo) {
    auto* state = static_cast<CFEventLoop::State*>(userInfo);
    // The system disables a tap whose callback is slow (ours waits for the parent's answer and
    // a screenshot) or on user input; left disabled, every later operation would be lost.
    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
        if (state->tap) CGEventTapEnable(state->tap.get(), true);
    }
    @autoreleasepool {
        if (state->tapCallback) state->tapCallback(decode(type, event));
    }
    return event;
}

} // namespace

CFEventLoop::CFEventLoop() : state_(std::make_unique<State>()) {
    // The global monitor and run() need the shared application (and its window-server
    // connection); an unbundled executable gets no Dock icon from it.
    (void)[NSApplication sharedApplication];
}

CFEventLoop::~CFEventLoop() {
    if (state_->tapSource) {
        CFRunLoopRemoveSource(CFRunLoopGetMain(), state_->tapSource.get(), kCFRunLoopCommonModes);
    }
    if (state_->tap) CGEventTapEnable(state_->tap.get(), false);
    if (state_->interruptSource) dispatch_source_cancel(state_->interruptSource);
    if (state_->parentTimer) dispatch_source_cancel(state_->parentTimer);
    state_->interrupt.reset();
}

bool CFEventLoop::installEventTap(std::uint64_t mask,
                                  std::function<void(const InputEvent&)> callback) {
    state_->tapCallback = std::move(callback);
    CFRef<CFMachPortRef> tap(
        CGEventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap, kCGEventTapOptionListenOnly,
                         static_cast<CGEventMask>(mask), tapCallback, state_.get()));
    if (!tap) return false;
    state_->tap = tap;
    state_->tapSource =
        CFRef<CFRunLoopSourceRef>(CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap.get(), 0));
    if (!state_->tapSource) return false;
    CFRunLoopAddSource(CFRunLoopGetMain(), state_->tapSource.get(), kCFRunLoopCommonModes);
    CGEventTapEnable(tap.get(), true);
    return true;
}

void CFEventLoop::addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) {
    // The monitor lives as long as the process; its token is not needed.
    [NSEvent addGlobalMonitorForEventsMatchingMask:NSEventMaskKeyDown
                                           handler:^(NSEvent* event) {
                                             HotkeyEvent hotkey;
                                             hotkey.flags =
                                                 static_cast<std::uint64_t>(event.modifierFlags);
                                             hotkey.charactersIgnoringModifiers =
                                                 optionalString(event.charactersIgnoringModifiers);
                                             handler(hotkey);
                                           }];
}

void CFEventLoop::addRepeatingTimer(double intervalSeconds, std::function<void()> action) {
    NSTimer* timer = [NSTimer timerWithTimeInterval:intervalSeconds
                                            repeats:YES
                                              block:^(NSTimer* firing) {
                                                (void)firing;
                                                @autoreleasepool {
                                                    action();
                                                }
                                              }];
    [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSRunLoopCommonModes];
}

void CFEventLoop::runAfter(double delaySeconds, std::function<void()> task) {
    dispatch_after(
        dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(delaySeconds * NSEC_PER_SEC)),
        dispatch_get_main_queue(), ^{
          @autoreleasepool {
              task();
          }
        });
}

void CFEventLoop::onInterrupt(std::function<void()> handler) {
    state_->interruptHandler = std::move(handler);
    // Ctrl+C now only writes to the pipe, also while the main thread waits outside the loop.
    state_->interrupt = std::make_unique<InterruptPipe>();
    const int readEnd = state_->interrupt->readDescriptor();
    if (readEnd < 0) return;
    State* state = state_.get();
    state_->interruptSource = dispatch_source_create(
        DISPATCH_SOURCE_TYPE_READ, static_cast<uintptr_t>(readEnd), 0, dispatch_get_main_queue());
    dispatch_source_set_event_handler(state_->interruptSource, ^{
      state->interrupt->drain();
      state->interruptHandler();
    });
    dispatch_resume(state_->interruptSource);
}

std::optional<int> CFEventLoop::interruptDescriptor() const {
    if (!state_->interrupt || state_->interrupt->readDescriptor() < 0) return std::nullopt;
    return state_->interrupt->readDescriptor();
}

void CFEventLoop::onParentGone(int outputFd, std::optional<int> inputFd,
                               std::function<void(ParentGone)> handler) {
    state_->parentGone = std::move(handler);
    State* state = state_.get();
    state_->parentTimer =
        dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, dispatch_get_main_queue());
    const uint64_t interval = NSEC_PER_SEC / 4;
    dispatch_source_set_timer(state_->parentTimer, dispatch_time(DISPATCH_TIME_NOW, interval),
                              interval, interval / 10);
    const int input = inputFd.value_or(-1);
    dispatch_source_set_event_handler(state_->parentTimer, ^{
      const bool outputClosed = outputGone(outputFd);
      if (!outputClosed && (input < 0 || !inputAtEnd(input))) return;
      dispatch_source_cancel(state->parentTimer);
      state->parentGone(outputClosed ? ParentGone::outputClosed : ParentGone::inputEnded);
    });
    dispatch_resume(state_->parentTimer);
}

void CFEventLoop::onDisplayLost(std::function<void()> handler) {
    state_->displayLost = std::move(handler);
}

void CFEventLoop::run() {
    // The main run loop, driven by AppKit: the global monitor's events come through the
    // application's event queue, which only NSApplication drains. The tap source, timers, the
    // main queue and the signal source are served by the same run loop.
    [NSApp run];
}
