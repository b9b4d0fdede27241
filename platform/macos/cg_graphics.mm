#include "platform/macos/cg_graphics.h"

#include "platform/macos/cg_image.h"

#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>
#import <ImageIO/ImageIO.h>
#import <UniformTypeIdentifiers/UniformTypeIdentifiers.h>

namespace {

std::optional<std::vector<std::uint8_t>> encode(CGImageRef image, CFStringRef type,
                                                NSDictionary* properties) {
    if (image == nullptr) return std::nullopt;
    NSMutableData* data = [NSMutableData data];
    CFRef<CGImageDestinationRef> destination(
        CGImageDestinationCreateWithData((__bridge CFMutableDataRef)data, type, 1, nullptr));
    if (!destination) return std::nullopt;
    CGImageDestinationAddImage(destination.get(), image, (__bridge CFDictionaryRef)properties);
    if (!CGImageDestinationFinalize(destination.get())) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(data.bytes);
    return std::vector<std::uint8_t>(bytes, bytes + data.length);
}

} // namespace

Image CGGraphics::drawScaled(const Image& image, std::int64_t width, std::int64_t height) {
    CGImageRef source = CGImagePort::from(image);
    if (source == nullptr || width <= 0 || height <= 0) return nullptr;
    CFRef<CGColorSpaceRef> colourSpace(CGColorSpaceCreateDeviceRGB());
    CFRef<CGContextRef> context(
        CGBitmapContextCreate(nullptr, static_cast<size_t>(width), static_cast<size_t>(height), 8,
                              0, colourSpace.get(), kCGImageAlphaPremultipliedLast));
    if (!context) return nullptr;
    CGContextSetInterpolationQuality(context.get(), kCGInterpolationMedium);
    CGContextDrawImage(context.get(),
                       CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)),
                       source);
    return CGImagePort::wrap(CGBitmapContextCreateImage(context.get()));
}

std::optional<std::vector<std::uint8_t>> CGGraphics::encodeJPEG(const Image& image,
                                                                double quality) {
    @autoreleasepool {
        NSDictionary* properties =
            @{(__bridge NSString*)kCGImageDestinationLossyCompressionQuality : @(quality)};
        return encode(CGImagePort::from(image), (__bridge CFStringRef)UTTypeJPEG.identifier,
                      properties);
    }
}

std::optional<std::vector<std::uint8_t>> CGGraphics::encodePNG(const Image& image) {
    @autoreleasepool {
        return encode(CGImagePort::from(image), (__bridge CFStringRef)UTTypePNG.identifier, @{});
    }
}
