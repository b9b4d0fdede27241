// AT-SPI roles under the accessibility role and subrole names the probes compare against: the
// macOS names, which are the ones a parent knows.
#pragma once

#include <atspi/atspi.h>
#include <optional>
#include <string>

namespace atspi_roles {

/// How a role's "AXValue" is read.
enum class ValueKind {
    none,       ///< no value
    text,       ///< the Text interface's contents
    checkState, ///< 1 when checked or pressed, else 0
    number,     ///< the Value interface's current value
};

struct RoleNames {
    std::string role;                   ///< "AXButton", "AXWindow", …
    std::optional<std::string> subrole; ///< "AXSecureTextField", "AXDialog", …
    ValueKind value = ValueKind::none;
};

/// What besides its role decides an element's names.
struct RoleContext {
    bool multiLine = false; ///< tells a text area from a text field
    bool editable = false;  ///< editable content is never read as static text
    bool takesText = false; ///< a combo box whose own child takes text (not a plain select)
    std::optional<AtspiRole> parent; ///< menus in a menu bar are its items; below the
                                     ///< application, every element is a window
};

/// What of `RoleContext` the names of `role` depend on.
struct ContextNeeded {
    bool states = false;
    bool parent = false;
    bool children = false;
};
ContextNeeded contextNeeded(AtspiRole role);

/// The names for `role` in `context`. Text containers that are not editable (paragraphs,
/// block quotes, headings) give their text as the value. Every role has a name a parent
/// knows; one without a counterpart is "AXUnknown".
RoleNames namesFor(AtspiRole role, const RoleContext& context);

} // namespace atspi_roles
