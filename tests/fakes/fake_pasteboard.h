// A clipboard whose change count moves with every copy.
#pragma once

#include "platform/pasteboard.h"

#include <cstdint>
#include <optional>
#include <string>

class FakePasteboard : public Pasteboard {
public:
    std::int64_t count = 0;
    std::optional<std::string> text; ///< none for content that is not plain text

    std::int64_t changeCount() override { return count; }
    std::optional<std::string> plainText() override { return text; }
    /// A copy: new content (none for an image or files) and a new change count.
    void copy(std::optional<std::string> copied) {
        text = std::move(copied);
        ++count;
    }
};
