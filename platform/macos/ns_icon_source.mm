#include "platform/macos/ns_icon_source.h"

#include "platform/macos/cg_image.h"
#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>

Image NSIconSource::applicationIcon(std::string_view bundleId, std::int64_t pixels) {
    if (pixels <= 0) return nullptr;
    @autoreleasepool {
        NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
        NSURL* location = [workspace URLForApplicationWithBundleIdentifier:toNSString(bundleId)];
        NSString* path = location.path; // nil for a URL that is not a file URL
        if (path == nil) return nullptr;
        NSImage* icon = [workspace iconForFile:path];
        const auto side = static_cast<NSInteger>(pixels);
        NSBitmapImageRep* bitmap =
            [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                    pixelsWide:side
                                                    pixelsHigh:side
                                                 bitsPerSample:8
                                               samplesPerPixel:4
                                                      hasAlpha:YES
                                                      isPlanar:NO
                                                colorSpaceName:NSDeviceRGBColorSpace
                                                   bytesPerRow:0
                                                  bitsPerPixel:0];
        if (bitmap == nil) return nullptr;
        const NSSize size = NSMakeSize(static_cast<CGFloat>(pixels), static_cast<CGFloat>(pixels));
        bitmap.size = size;
        [NSGraphicsContext saveGraphicsState];
        [NSGraphicsContext
            setCurrentContext:[NSGraphicsContext graphicsContextWithBitmapImageRep:bitmap]];
        [icon drawInRect:NSMakeRect(0, 0, size.width, size.height)
                fromRect:NSZeroRect
               operation:NSCompositingOperationSourceOver
                fraction:1.0];
        [NSGraphicsContext restoreGraphicsState];
        // The bitmap's CGImage: PNG encoding of it keeps the 64×64 RGBA layout with alpha.
        CGImageRef image = bitmap.CGImage;
        if (image == nullptr) return nullptr;
        return CGImagePort::wrap(CGImageRetain(image));
    }
}
