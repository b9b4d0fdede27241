#pragma once

#include "platform/pasteboard.h"

class NSPasteboardPort final : public Pasteboard {
public:
    std::int64_t changeCount() override;
    std::optional<std::string> plainText() override;
};
