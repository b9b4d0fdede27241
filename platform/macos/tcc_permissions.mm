#include "platform/macos/tcc_permissions.h"

#import <ApplicationServices/ApplicationServices.h>
#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>
#import <IOKit/hidsystem/IOHIDLib.h>

PermissionState TCCPermissions::accessibility() {
    return AXIsProcessTrusted() ? PermissionState::granted : PermissionState::denied;
}

PermissionState TCCPermissions::screenRecording() {
    return CGPreflightScreenCaptureAccess() ? PermissionState::granted : PermissionState::denied;
}

PermissionState TCCPermissions::inputMonitoring() {
    switch (IOHIDCheckAccess(kIOHIDRequestTypeListenEvent)) {
    case kIOHIDAccessTypeGranted:
        return PermissionState::granted;
    case kIOHIDAccessTypeDenied:
        return PermissionState::denied;
    default:
        return PermissionState::unknown;
    }
}

void TCCPermissions::request() {
    @autoreleasepool {
        NSDictionary* options = @{(__bridge NSString*)kAXTrustedCheckOptionPrompt : @YES};
        (void)AXIsProcessTrustedWithOptions((__bridge CFDictionaryRef)options);
        (void)CGRequestScreenCaptureAccess();
        (void)IOHIDRequestAccess(kIOHIDRequestTypeListenEvent);
    }
}
