#include "platform/macos/sck_screen_capture.h"

#include "platform/macos/cg_image.h"
#include "platform/macos/ns_string.h"

#import <CoreGraphics/CoreGraphics.h>
#import <ScreenCaptureKit/ScreenCaptureKit.h>

namespace {

PortError describe(NSError* error) {
    if (error == nil) return PortError{"unknown error"};
    return PortError{optionalString(error.localizedDescription).value_or("unknown error")};
}

/// Fetches the current shareable content (desktop windows included, on-screen windows only).
SCShareableContent* fetchContent(NSError** errorOut) {
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    __block SCShareableContent* result = nil;
    __block NSError* failure = nil;
    [SCShareableContent
        getShareableContentExcludingDesktopWindows:NO
                               onScreenWindowsOnly:YES
                                 completionHandler:^(SCShareableContent* content, NSError* error) {
                                   result = content;
                                   failure = error;
                                   dispatch_semaphore_signal(done);
                                 }];
    dispatch_semaphore_wait(done, DISPATCH_TIME_FOREVER);
    if (errorOut) *errorOut = failure;
    return failure ? nil : result;
}

SCStreamConfiguration* configure(const CaptureConfiguration& settings) {
    SCStreamConfiguration* configuration = [[SCStreamConfiguration alloc] init];
    configuration.width = static_cast<size_t>(settings.width);
    configuration.height = static_cast<size_t>(settings.height);
    configuration.showsCursor = settings.showsCursor;
    if (settings.bestResolution) configuration.captureResolution = SCCaptureResolutionBest;
    return configuration;
}

Result<Image> screenshot(SCContentFilter* filter, SCStreamConfiguration* configuration) {
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    __block CGImageRef image = nullptr;
    __block NSError* failure = nil;
    [SCScreenshotManager captureImageWithFilter:filter
                                  configuration:configuration
                              completionHandler:^(CGImageRef captured, NSError* error) {
                                if (captured) image = CGImageRetain(captured);
                                failure = error;
                                dispatch_semaphore_signal(done);
                              }];
    dispatch_semaphore_wait(done, DISPATCH_TIME_FOREVER);
    Image wrapped = CGImagePort::wrap(image);
    if (failure != nil || !wrapped) return describe(failure);
    return wrapped;
}

/// The content of the last listing, which capture requests take their display or window
/// objects from; fetched anew when nothing was listed yet.
SCShareableContent* contentForCapture(const CFRef<CFTypeRef>& lastContent, NSError** errorOut) {
    SCShareableContent* content = (__bridge SCShareableContent*)lastContent.get();
    return content != nil ? content : fetchContent(errorOut);
}

} // namespace

SCKScreenCapture::SCKScreenCapture() {
    // Connects this process to the window server. A command-line process without an
    // NSApplication has no connection yet, and SCContentFilter's window initialiser then
    // aborts inside CoreGraphics instead of failing.
    (void)CGMainDisplayID();
}

Result<ShareableContent> SCKScreenCapture::shareableContent() {
    @autoreleasepool {
        NSError* error = nil;
        SCShareableContent* content = fetchContent(&error);
        if (content == nil) return describe(error);
        lastContent_ = CFRef<CFTypeRef>(CFBridgingRetain(content));
        ShareableContent out;
        for (SCWindow* window in content.windows) {
            const CGRect frame = window.frame;
            out.windows.push_back(
                {window.windowID,
                 {frame.origin.x, frame.origin.y, frame.size.width, frame.size.height}});
        }
        for (SCDisplay* display in content.displays) {
            out.displays.push_back({display.displayID, static_cast<std::int64_t>(display.width),
                                    static_cast<std::int64_t>(display.height)});
        }
        return out;
    }
}

Result<Image> SCKScreenCapture::captureDisplay(const ShareableDisplay& display,
                                               const CaptureConfiguration& configuration) {
    @autoreleasepool {
        NSError* error = nil;
        SCShareableContent* content = contentForCapture(lastContent_, &error);
        if (content == nil) return describe(error);
        for (SCDisplay* candidate in content.displays) {
            if (candidate.displayID != display.displayID) continue;
            SCContentFilter* filter = [[SCContentFilter alloc] initWithDisplay:candidate
                                                              excludingWindows:@[]];
            return screenshot(filter, configure(configuration));
        }
        return PortError{"display is no longer available"};
    }
}

Result<Image> SCKScreenCapture::captureWindow(const ShareableWindow& window,
                                              const CaptureConfiguration& configuration) {
    @autoreleasepool {
        NSError* error = nil;
        SCShareableContent* content = contentForCapture(lastContent_, &error);
        if (content == nil) return describe(error);
        for (SCWindow* candidate in content.windows) {
            if (candidate.windowID != window.windowID) continue;
            SCContentFilter* filter =
                [[SCContentFilter alloc] initWithDesktopIndependentWindow:candidate];
            return screenshot(filter, configure(configuration));
        }
        return PortError{"window is no longer on screen"};
    }
}
