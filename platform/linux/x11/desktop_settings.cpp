#include "platform/linux/x11/desktop_settings.h"

#include "platform/linux/x11/x11_connection.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace desktop {
namespace {

// Reads the fields of an XSETTINGS blob in the byte order its first byte announces.
class Reader {
public:
    Reader(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    bool skip(std::size_t n) {
        if (bytes_.size() - at_ < n) return false;
        at_ += n;
        return true;
    }
    std::optional<std::uint32_t> card(std::size_t width) {
        if (bytes_.size() - at_ < width) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < width; ++k) {
            const std::size_t index = bigEndian_ ? k : width - 1 - k;
            value = (value << 8) | bytes_[at_ + index];
        }
        at_ += width;
        return value;
    }
    std::optional<std::string> padded(std::size_t length) {
        if (bytes_.size() - at_ < length) return std::nullopt;
        std::string out(reinterpret_cast<const char*>(bytes_.data() + at_), length);
        if (!skip(length) || !skip((4 - length % 4) % 4)) return std::nullopt;
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
    std::size_t at_ = 0;
};

constexpr std::uint32_t defaultDoubleClickMs = 400;

} // namespace

std::optional<XSettings> parseXSettings(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 12) return std::nullopt;
    Reader in(bytes, bytes[0] != 0); // 0 is LSBFirst, 1 MSBFirst
    in.skip(4);
    const auto serial = in.card(4);
    const auto count = in.card(4);
    if (!serial || !count) return std::nullopt;
    XSettings settings;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto type = in.card(1);
        if (!type || !in.skip(1)) return std::nullopt;
        const auto nameLength = in.card(2);
        if (!nameLength) return std::nullopt;
        auto name = in.padded(*nameLength);
        if (!name || !in.card(4)) return std::nullopt; // last-change serial
        switch (*type) {
        case 0: { // integer
            const auto value = in.card(4);
            if (!value) return std::nullopt;
            settings.integers[*name] = static_cast<std::int32_t>(*value);
            break;
        }
        case 1: { // string
            const auto length = in.card(4);
            if (!length) return std::nullopt;
            auto value = in.padded(*length);
            if (!value) return std::nullopt;
            settings.strings[*name] = std::move(*value);
            break;
        }
        case 2: // colour: four 16-bit channels
            if (!in.skip(8)) return std::nullopt;
            break;
        default:
            return std::nullopt;
        }
    }
    return settings;
}

std::optional<std::string> resourceValue(std::string_view database, std::string_view name) {
    while (!database.empty()) {
        const auto end = database.find('\n');
        std::string_view line = database.substr(0, end);
        database = end == std::string_view::npos ? std::string_view{} : database.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = line.substr(0, colon);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.remove_suffix(1);
        if (key != name) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.remove_suffix(1);
        return std::string(value);
    }
    return std::nullopt;
}

double backingScale(std::optional<std::int32_t> windowScalingFactor,
                    std::optional<std::string> xftDpi) {
    if (windowScalingFactor && *windowScalingFactor >= 1) return *windowScalingFactor;
    if (xftDpi) {
        char* end = nullptr;
        const double dpi = std::strtod(xftDpi->c_str(), &end);
        if (end != xftDpi->c_str() && std::isfinite(dpi) && dpi >= 96)
            return std::floor(dpi / 96.0);
    }
    return 1;
}

std::optional<XSettings> readXSettings(x11::Connection& connection) {
    // The manager of screen 0 owns _XSETTINGS_S0 and keeps its settings on its window.
    const xcb_atom_t selection = connection.atom("_XSETTINGS_S0");
    if (selection == XCB_ATOM_NONE) return std::nullopt;
    x11::Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection.xcb(), xcb_get_selection_owner(connection.xcb(), selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE) return std::nullopt;
    auto property = connection.property(owner->owner, connection.atom("_XSETTINGS_SETTINGS"));
    if (!property || property->format != 8) return std::nullopt;
    return parseXSettings(property->bytes);
}

std::uint32_t doubleClickMs(x11::Connection& connection) {
    if (auto settings = readXSettings(connection)) {
        if (auto found = settings->integers.find("Net/DoubleClickTime");
            found != settings->integers.end() && found->second > 0 && found->second <= 5000)
            return static_cast<std::uint32_t>(found->second);
    }
    return defaultDoubleClickMs;
}

double readBackingScale(x11::Connection& connection) {
    std::optional<std::int32_t> windowScale;
    if (auto settings = readXSettings(connection)) {
        if (auto found = settings->integers.find("Gdk/WindowScalingFactor");
            found != settings->integers.end())
            windowScale = found->second;
    }
    std::optional<std::string> dpi;
    if (auto database = connection.text(connection.root(), XCB_ATOM_RESOURCE_MANAGER))
        dpi = resourceValue(*database, "Xft.dpi");
    return backingScale(windowScale, dpi);
}

} // namespace desktop
