// Facts of accessible objects (texts, role, states, extents, child count), read one at a time
// through libatspi or many together: every request of a batch is sent before any answer is
// awaited, so that the batch waits for one round trip instead of one per request.
#pragma once

#include <atspi/atspi.h>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace atspi_batch {

/// The texts first: `Fact` values below `kTextKinds` are texts.
enum class Fact {
    name,
    description,
    identifier,
    roleName,
    help,
    role,
    states,
    extents,
    childCount,
    parent,
    indexInParent
};
inline constexpr std::size_t kTextKinds = 5;

/// One text, as sent (not yet checked as UTF-8); absent when the request failed. `help` is the
/// first non-empty "help-text" or "tooltip" attribute, empty when there is none.
std::optional<std::string> readText(AtspiAccessible* object, Fact text);

struct Request {
    AtspiAccessible* object = nullptr;
    Fact fact = Fact::name;
};

/// The state bits as sent: state `s` is bit `s % 32` of word `s / 32`.
struct StateBits {
    std::uint32_t words[2] = {0, 0};
};

/// An object as the bus names it.
struct ObjectRef {
    std::string busName;
    std::string path;
    bool operator==(const ObjectRef&) const = default;
};

/// A text, a role, the states, the extents in screen coordinates, the child count or index in
/// the parent, or the parent; monostate when the request failed or its answer had another
/// shape.
using Answer =
    std::variant<std::monostate, std::string, AtspiRole, StateBits, AtspiRect, int, ObjectRef>;

/// The facts asked for, in order; each awaited at most `timeoutMs` from when all were sent.
std::vector<Answer> readTogether(std::span<const Request> requests, int timeoutMs);

} // namespace atspi_batch
