// The window server's list of on-screen windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One on-screen window as the window server describes it. An entry the server did not
/// give (or gave as a value of another kind) is absent.
struct WindowListEntry {
    std::optional<std::int32_t> ownerPID; ///< process that owns the window
    std::optional<std::int64_t> layer;    ///< 0 is the ordinary window layer
    std::optional<std::string> name;      ///< title, valid UTF-8 (may be empty)
    std::optional<std::uint32_t> number;  ///< window server number (the `ocr` window id)
};

class WindowList {
public:
    virtual ~WindowList() = default;
    /// On-screen windows without desktop elements, front to back; empty when the query fails.
    virtual std::vector<WindowListEntry> onScreenWindows() = 0;
};
