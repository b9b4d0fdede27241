#include "platform/macos/appkit_fixture_canvas.h"

#include "platform/macos/cg_image.h"
#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>

namespace {

NSColor* colour(const FixtureColour& c) {
    if (c.red == 1 && c.green == 1 && c.blue == 1) return [NSColor whiteColor];
    if (c.red == 0 && c.green == 0 && c.blue == 0) return [NSColor blackColor];
    return [NSColor colorWithSRGBRed:c.red green:c.green blue:c.blue alpha:1.0];
}

NSDictionary* attributes(const FixtureText& text, NSColor* textColour, bool centred) {
    const NSFontWeight weight =
        text.weight == FontWeight::semibold ? NSFontWeightSemibold : NSFontWeightRegular;
    NSMutableDictionary* result = [@{
        NSFontAttributeName : [NSFont systemFontOfSize:text.fontSize weight:weight],
        NSForegroundColorAttributeName : textColour,
    } mutableCopy];
    if (centred) {
        NSMutableParagraphStyle* style = [[NSMutableParagraphStyle alloc] init];
        style.alignment = NSTextAlignmentCenter;
        result[NSParagraphStyleAttributeName] = style;
    }
    return result;
}

} // namespace

Image AppKitFixtureCanvas::draw(const FixtureDrawing& drawing) {
    // An empty image cannot take the focus (lockFocus raises).
    if (!(drawing.canvas.width > 0 && drawing.canvas.height > 0)) return nullptr;
    @autoreleasepool {
        const NSSize size = NSMakeSize(drawing.canvas.width, drawing.canvas.height);
        NSImage* image = [[NSImage alloc] initWithSize:size];
        [image lockFocus];
        [colour(drawing.background) setFill];
        // NSRectFill would copy; the fill composites with the context's own operation.
        NSGraphicsContext* context = [NSGraphicsContext currentContext];
        NSRectFillUsingOperation(NSMakeRect(0, 0, size.width, size.height),
                                 context != nil ? context.compositingOperation
                                                : NSCompositingOperationSourceOver);
        NSColor* textColour = colour(drawing.textColour);
        for (const FixtureText& text : drawing.texts) {
            NSString* string = toNSString(text.text);
            if (text.centredIn) {
                const geo::Rect& r = *text.centredIn;
                [string drawInRect:NSMakeRect(r.x, r.y, r.width, r.height)
                    withAttributes:attributes(text, textColour, true)];
            } else {
                [string drawAtPoint:NSMakePoint(text.origin.x, text.origin.y)
                     withAttributes:attributes(text, textColour, false)];
            }
        }
        [image unlockFocus];
        NSRect whole = NSMakeRect(0, 0, size.width, size.height);
        CGImageRef bitmap = [image CGImageForProposedRect:&whole context:nil hints:nil];
        if (bitmap == nullptr) return nullptr;
        return CGImagePort::wrap(CGImageRetain(bitmap));
    }
}
