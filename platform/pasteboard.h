#pragma once

#include <cstdint>
#include <optional>
#include <string>

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    /// Counter that changes whenever the clipboard's owner or contents change.
    virtual std::int64_t changeCount() = 0;
    /// The clipboard's plain text as valid UTF-8, or nothing when it holds none.
    virtual std::optional<std::string> plainText() = 0;
};
