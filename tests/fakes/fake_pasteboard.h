// A clipboard whose change count moves with every copy.
#pragma once

#include "platform/pasteboard.h"

#include <cstdint>
#include <optional>
#include <string>

class FakePasteboard : public Pasteboard {
public:
    std::int64_t count = 0;
    std::optional<std::string> text;
    int textReads = 0;

    std::int64_t changeCount() override { return count; }
    std::optional<std::string> plainText() override {
        ++textReads;
        return text;
    }

    /// A copy of plain text: new content and a new change count.
    void copy(std::string copied) {
        text = std::move(copied);
        ++count;
    }
    /// A copy of something that is not plain text (an image, files).
    void copyNonText() {
        text.reset();
        ++count;
    }
};
