// X input in macOS terms: ANSI virtual key codes, modifier flags, function-key characters,
// click counting. Pure functions of plain values, so they are tested without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace input {

/// ANSI virtual key code of the key at the XKB position `keyName` ("AC01" is the A position,
/// "AB04" the V position, "RTRN" Return); nothing for a position macOS has no key code for.
std::optional<std::int64_t> keyCodeForPosition(std::string_view keyName);

/// ANSI virtual key code of the key whose unshifted keysym is `keysym` (US layout positions);
/// used when the keymap's key names are not the usual ones.
std::optional<std::int64_t> keyCodeForKeysym(std::uint32_t keysym);

/// Code of a key known by neither: 0x100 + the X keycode, outside the range of ANSI codes so
/// that it can never pass for a letter.
std::int64_t unmappedKeyCode(std::uint32_t xKeycode);

/// True for the keysyms of modifier keys (Shift, Control, Alt, Super, Caps Lock, level and
/// group shifts): macOS reports their presses as flag changes, never as key-downs.
bool isModifierKeysym(std::uint32_t keysym);

/// Modifier keys held at a key or button press.
struct Modifiers {
    bool control = false;
    bool shift = false;
    bool alt = false;
    bool capsLock = false;
};

inline constexpr std::uint64_t capsLockFlag = 0x10000;
inline constexpr std::uint64_t shiftFlag = 0x20000;
inline constexpr std::uint64_t controlFlag = 0x40000;
inline constexpr std::uint64_t optionFlag = 0x80000;
inline constexpr std::uint64_t commandFlag = 0x100000;

/// macOS event flags for the held modifiers. Control is the Linux shortcut modifier, so it
/// also sets Command, except together with Alt: Ctrl+Alt is the chord macOS writes as
/// Ctrl+Opt (the pause hotkey among others), which carries no Command bit there either.
std::uint64_t eventFlags(const Modifiers& held);

/// The characters macOS reports for keys whose X keysym gives none or different ones
/// (BackSpace is DEL, arrows and function keys are in U+F700…U+F72D, keypad Enter is ETX).
std::optional<std::u16string> macKeyCharacters(std::uint32_t keysym);

/// UTF-8 as UTF-16 code units; ill-formed bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

/// Counts presses of the same button that follow each other closely in time and space,
/// as the click state of a mouse-down event (1, 2 for a double click, 3, …).
class ClickCounter {
public:
    ClickCounter(std::uint32_t intervalMs, double maxDistance)
        : intervalMs_(intervalMs), maxDistance_(maxDistance) {}

    /// Click state of a press of `button` at server time `timeMs` and position (x, y).
    std::int64_t press(std::uint32_t button, std::uint32_t timeMs, double x, double y);
    void setInterval(std::uint32_t intervalMs) { intervalMs_ = intervalMs; }

private:
    std::uint32_t intervalMs_;
    double maxDistance_;
    std::uint32_t lastButton_ = 0;
    std::uint32_t lastTime_ = 0;
    double lastX_ = 0;
    double lastY_ = 0;
    std::int64_t count_ = 0;
};

} // namespace input
