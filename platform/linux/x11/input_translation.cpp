#include "platform/linux/x11/input_translation.h"

#include "common/utf8.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace input {
namespace {

// XKB key position names (as in the evdev and xfree86 keycode sets) to macOS kVK_* codes.
constexpr std::pair<std::string_view, std::int64_t> positions[] = {
    {"TLDE", 0x32}, {"AE01", 0x12}, {"AE02", 0x13}, {"AE03", 0x14}, {"AE04", 0x15}, {"AE05", 0x17},
    {"AE06", 0x16}, {"AE07", 0x1A}, {"AE08", 0x1C}, {"AE09", 0x19}, {"AE10", 0x1D}, {"AE11", 0x1B},
    {"AE12", 0x18}, {"AE13", 0x5D}, {"BKSP", 0x33}, {"TAB", 0x30},  {"AD01", 0x0C}, {"AD02", 0x0D},
    {"AD03", 0x0E}, {"AD04", 0x0F}, {"AD05", 0x11}, {"AD06", 0x10}, {"AD07", 0x20}, {"AD08", 0x22},
    {"AD09", 0x1F}, {"AD10", 0x23}, {"AD11", 0x21}, {"AD12", 0x1E}, {"BKSL", 0x2A}, {"CAPS", 0x39},
    {"AC01", 0x00}, {"AC02", 0x01}, {"AC03", 0x02}, {"AC04", 0x03}, {"AC05", 0x05}, {"AC06", 0x04},
    {"AC07", 0x26}, {"AC08", 0x28}, {"AC09", 0x25}, {"AC10", 0x29}, {"AC11", 0x27}, {"AC12", 0x2A},
    {"RTRN", 0x24}, {"LFSH", 0x38}, {"LSGT", 0x0A}, {"AB01", 0x06}, {"AB02", 0x07}, {"AB03", 0x08},
    {"AB04", 0x09}, {"AB05", 0x0B}, {"AB06", 0x2D}, {"AB07", 0x2E}, {"AB08", 0x2B}, {"AB09", 0x2F},
    {"AB10", 0x2C}, {"AB11", 0x5E}, {"RTSH", 0x3C}, {"LCTL", 0x3B}, {"LWIN", 0x37}, {"LALT", 0x3A},
    {"SPCE", 0x31}, {"RALT", 0x3D}, {"RWIN", 0x36}, {"RCTL", 0x3E}, {"ESC", 0x35},  {"FK01", 0x7A},
    {"FK02", 0x78}, {"FK03", 0x63}, {"FK04", 0x76}, {"FK05", 0x60}, {"FK06", 0x61}, {"FK07", 0x62},
    {"FK08", 0x64}, {"FK09", 0x65}, {"FK10", 0x6D}, {"FK11", 0x67}, {"FK12", 0x6F}, {"FK13", 0x69},
    {"FK14", 0x6B}, {"FK15", 0x71}, {"FK16", 0x6A}, {"FK17", 0x40}, {"FK18", 0x4F}, {"FK19", 0x50},
    {"FK20", 0x5A}, {"INS", 0x72},  {"HOME", 0x73}, {"PGUP", 0x74}, {"DELE", 0x75}, {"END", 0x77},
    {"PGDN", 0x79}, {"LEFT", 0x7B}, {"RGHT", 0x7C}, {"DOWN", 0x7D}, {"UP", 0x7E},   {"NMLK", 0x47},
    {"KPDV", 0x4B}, {"KPMU", 0x43}, {"KPSU", 0x4E}, {"KPAD", 0x45}, {"KPEN", 0x4C}, {"KPDL", 0x41},
    {"KPEQ", 0x51}, {"KP0", 0x52},  {"KP1", 0x53},  {"KP2", 0x54},  {"KP3", 0x55},  {"KP4", 0x56},
    {"KP5", 0x57},  {"KP6", 0x58},  {"KP7", 0x59},  {"KP8", 0x5B},  {"KP9", 0x5C},  {"MUTE", 0x4A},
    {"VOL-", 0x49}, {"VOL+", 0x48}, {"MUHE", 0x66},
};

// Unshifted keysyms of a US layout to the same codes; Latin-1 keysyms equal their code points.
constexpr std::pair<std::uint32_t, std::int64_t> keysyms[] = {
    {'a', 0x00},    {'s', 0x01},    {'d', 0x02},    {'f', 0x03},    {'h', 0x04},    {'g', 0x05},
    {'z', 0x06},    {'x', 0x07},    {'c', 0x08},    {'v', 0x09},    {'b', 0x0B},    {'q', 0x0C},
    {'w', 0x0D},    {'e', 0x0E},    {'r', 0x0F},    {'y', 0x10},    {'t', 0x11},    {'1', 0x12},
    {'2', 0x13},    {'3', 0x14},    {'4', 0x15},    {'6', 0x16},    {'5', 0x17},    {'=', 0x18},
    {'9', 0x19},    {'7', 0x1A},    {'-', 0x1B},    {'8', 0x1C},    {'0', 0x1D},    {']', 0x1E},
    {'o', 0x1F},    {'u', 0x20},    {'[', 0x21},    {'i', 0x22},    {'p', 0x23},    {'l', 0x25},
    {'j', 0x26},    {'\'', 0x27},   {'k', 0x28},    {';', 0x29},    {'\\', 0x2A},   {',', 0x2B},
    {'/', 0x2C},    {'n', 0x2D},    {'m', 0x2E},    {'.', 0x2F},    {' ', 0x31},    {'`', 0x32},
    {0xff0d, 0x24}, {0xff09, 0x30}, {0xff08, 0x33}, {0xff1b, 0x35}, {0xffff, 0x75}, {0xff50, 0x73},
    {0xff51, 0x7B}, {0xff52, 0x7E}, {0xff53, 0x7C}, {0xff54, 0x7D}, {0xff55, 0x74}, {0xff56, 0x79},
    {0xff57, 0x77}, {0xff6a, 0x72}, {0xff8d, 0x4C}, {0xffe1, 0x38}, {0xffe2, 0x3C}, {0xffe3, 0x3B},
    {0xffe4, 0x3E}, {0xffe5, 0x39}, {0xffe9, 0x3A}, {0xffea, 0x3D}, {0xffeb, 0x37}, {0xffec, 0x36},
    {0xffbe, 0x7A}, {0xffbf, 0x78},
};

} // namespace

std::optional<std::int64_t> keyCodeForPosition(std::string_view keyName) {
    for (const auto& [name, code] : positions)
        if (name == keyName) return code;
    return std::nullopt;
}

std::optional<std::int64_t> keyCodeForKeysym(std::uint32_t keysym) {
    // Upper-case Latin letters share the position of their lower-case forms.
    if (keysym >= 'A' && keysym <= 'Z') keysym += 'a' - 'A';
    for (const auto& [sym, code] : keysyms)
        if (sym == keysym) return code;
    return std::nullopt;
}

std::int64_t unmappedKeyCode(std::uint32_t xKeycode) {
    return 0x100 + std::int64_t{xKeycode};
}

bool isModifierKeysym(std::uint32_t keysym) {
    return (keysym >= 0xffe1 && keysym <= 0xffee) || // Shift_L … Hyper_R
           (keysym >= 0xfe01 && keysym <= 0xfe13) || // ISO level and group shifts and locks
           keysym == 0xff7e || keysym == 0xff7f;     // Mode_switch, Num_Lock
}

std::uint64_t eventFlags(const Modifiers& held) {
    std::uint64_t flags = 0;
    if (held.capsLock) flags |= capsLockFlag;
    if (held.shift) flags |= shiftFlag;
    if (held.control) flags |= controlFlag;
    if (held.alt) flags |= optionFlag;
    if (held.control && !held.alt) flags |= commandFlag;
    return flags;
}

std::optional<std::u16string> macKeyCharacters(std::uint32_t keysym) {
    auto unit = [](char16_t c) { return std::optional<std::u16string>(std::u16string(1, c)); };
    switch (keysym) {
    case 0xff08:
        return unit(0x7F); // BackSpace: macOS "delete" gives DEL
    case 0xff8d:
        return unit(0x03); // KP_Enter gives ETX
    case 0xfe20:
        return unit(0x19); // ISO_Left_Tab (Shift+Tab) gives the back-tab character
    case 0xff52:
        return unit(0xF700); // Up
    case 0xff54:
        return unit(0xF701); // Down
    case 0xff51:
        return unit(0xF702); // Left
    case 0xff53:
        return unit(0xF703); // Right
    case 0xff63:
        return unit(0xF727); // Insert
    case 0xffff:
        return unit(0xF728); // Delete (forward)
    case 0xff50:
        return unit(0xF729); // Home
    case 0xff58:
        return unit(0xF72A); // Begin
    case 0xff57:
        return unit(0xF72B); // End
    case 0xff55:
        return unit(0xF72C); // Prior (Page Up)
    case 0xff56:
        return unit(0xF72D); // Next (Page Down)
    default:
        break;
    }
    if (keysym >= 0xffbe && keysym <= 0xffe0) // F1…F35
        return unit(static_cast<char16_t>(0xF704 + (keysym - 0xffbe)));
    return std::nullopt;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string units;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto step = text::utf8::decode(utf8, at);
        at += step.length;
        const char32_t scalar = step.valid ? step.scalar : text::utf8::replacementCharacter;
        if (scalar < 0x10000) {
            units.push_back(static_cast<char16_t>(scalar));
        } else {
            const char32_t offset = scalar - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
    }
    return units;
}

std::int64_t ClickCounter::press(std::uint32_t button, std::uint32_t timeMs, double x, double y) {
    // Server time wraps after 49 days; unsigned subtraction keeps the interval right across it.
    const bool continues =
        count_ > 0 && button == lastButton_ && timeMs - lastTime_ <= intervalMs_ &&
        std::abs(x - lastX_) <= maxDistance_ && std::abs(y - lastY_) <= maxDistance_;
    count_ = continues ? count_ + 1 : 1;
    lastButton_ = button;
    lastTime_ = timeMs;
    lastX_ = x;
    lastY_ = y;
    return count_;
}

} // namespace input
