#include "platform/macos/cg_idle_time.h"

#import <CoreGraphics/CoreGraphics.h>

double CGIdleTime::secondsSinceLastEvent(InputEventType type) {
    return CGEventSourceSecondsSinceLastEventType(kCGEventSourceStateCombinedSessionState,
                                                  static_cast<CGEventType>(type));
}
