// One connection to the X server, with an atom cache and property readers.
//
// Thread rules: xcb itself is thread-safe, but an X11Connection (its atom cache and the
// event queue that its owner drains) belongs to the thread that opened it. The main
// thread's connection carries the workspace, screen and permission requests; the input
// thread, the clipboard reader and the capture worker each open their own, so that no
// thread ever waits for another's replies or swallows another's events.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <xcb/xcb.h>

namespace x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

/// An xcb reply or event, freed with free().
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

class Connection {
public:
    /// Opens `displayName` (or $DISPLAY when null); nullptr when no display can be reached.
    static std::unique_ptr<Connection> open(const char* displayName = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* xcb() const { return connection_; }
    /// The default screen.
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    /// The socket to watch for incoming events.
    int fileDescriptor() const;
    /// True once the server has closed the connection or a protocol error broke it.
    bool broken() const;
    /// Sends buffered requests.
    void flush() const;
    /// Waits until the server has handled every request sent so far (one round trip).
    void sync() const;

    /// The atom named `name`, interned on first use; XCB_ATOM_NONE when the server refuses.
    xcb_atom_t atom(std::string_view name);
    /// Interns several atoms with a single round trip.
    void internAtoms(std::initializer_list<std::string_view> names);

    /// Major opcode and first event of an extension, or nothing when the server lacks it.
    struct Extension {
        std::uint8_t majorOpcode = 0;
        std::uint8_t firstEvent = 0;
    };
    std::optional<Extension> extension(xcb_extension_t* id) const;

    /// Raw bytes of a property (format 8, 16 or 32) of any type; at most `maxBytes` are read.
    struct Property {
        xcb_atom_t type = XCB_ATOM_NONE;
        std::uint8_t format = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::optional<Property> property(xcb_window_t window, xcb_atom_t name,
                                     std::uint32_t maxBytes = 1 << 16) const;
    /// A 32-bit property read as a list of numbers (CARDINAL, WINDOW, ATOM, …).
    std::vector<std::uint32_t> numbers(xcb_window_t window, xcb_atom_t name) const;
    /// The first number of a 32-bit property.
    std::optional<std::uint32_t> number(xcb_window_t window, xcb_atom_t name) const;
    /// A text property (STRING, UTF8_STRING, …) as its bytes; nothing when absent.
    std::optional<std::string> text(xcb_window_t window, xcb_atom_t name) const;

private:
    Connection(xcb_connection_t* connection, const xcb_screen_t* screen);

    xcb_connection_t* connection_;
    const xcb_screen_t* screen_;
    std::unordered_map<std::string, xcb_atom_t> atoms_;
};

} // namespace x11
