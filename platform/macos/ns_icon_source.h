#pragma once

#include "platform/icon_source.h"

/// Application icons from NSWorkspace, drawn into an NSBitmapImageRep.
class NSIconSource final : public IconSource {
public:
    Image applicationIcon(std::string_view bundleId, std::int64_t pixels) override;
};
