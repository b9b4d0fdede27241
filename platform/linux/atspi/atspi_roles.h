// AT-SPI roles under the accessibility role and subrole names the probes compare against.
#pragma once

#include <atspi/atspi.h>
#include <optional>
#include <string>
#include <string_view>

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

/// The states that decide the names of some roles.
struct RoleStates {
    bool multiLine = false; ///< tells a text area from a text field
    bool editable = false;  ///< editable content is never read as static text
};

/// True for the roles whose names depend on `RoleStates`.
bool dependsOnStates(AtspiRole role);

/// "AX" followed by the AT-SPI role name in upper camel case: "table cell" gives
/// "AXTableCell"; characters other than ASCII letters and digits separate words.
std::string camelCaseRole(std::string_view atspiRoleName);

/// The names for `role` with the element's states. Text containers that are not editable
/// (paragraphs, block quotes, headings) give their text as the value. `atspiRoleName` is used
/// for roles without a fixed counterpart.
RoleNames namesFor(AtspiRole role, RoleStates states, std::string_view atspiRoleName);

} // namespace atspi_roles
