#include "platform/macos/cf_event_loop.h"

#include "platform/macos/cf_ref.h"
#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>
#import <ApplicationServices/ApplicationServices.h>
#include <csignal>
#include <vector>

struct CFEventLoop::State {
    std::function<void(const InputEvent&)> tapCallback;
    CFRef<CFMachPortRef> tap;
    CFRef<CFRunLoopSourceRef> tapSource;
    dispatch_source_t interruptSource = nil;
    std::function<void()> interruptHandler;
};

namespace {

InputEvent decode(CGEventType type, CGEventRef event) {
    InputEvent decoded;
    decoded.type = static_cast<std::uint32_t>(type);
    if (event == nullptr) return decoded;
    decoded.flags = static_cast<std::uint64_t>(CGEventGetFlags(event));
    decoded.keyCode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
    decoded.clickState = CGEventGetIntegerValueField(event, kCGMouseEventClickState);
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
    State* state = state_.get();
    state_->interruptSource =
        dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, SIGINT, 0, dispatch_get_main_queue());
    dispatch_source_set_event_handler(state_->interruptSource, ^{
      state->interruptHandler();
    });
    dispatch_resume(state_->interruptSource);
    // Ctrl+C now reaches only the dispatch source.
    std::signal(SIGINT, SIG_IGN);
}

void CFEventLoop::run() {
    // The main run loop, driven by AppKit: the global monitor's events come through the
    // application's event queue, which only NSApplication drains. The tap source, timers, the
    // main queue and the signal source are served by the same run loop.
    [NSApp run];
}
