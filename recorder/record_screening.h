// What a record's text fields may carry out: page addresses without what was typed into
// them (query values, fragment), and nothing that shows what the person typed or copied.
#pragma once

#include "recorder/records.h"
#include "recorder/typed_text_screen.h"

#include <optional>
#include <string>
#include <string_view>

namespace record_screening {

/// Stands in a text field, or a `nearbyText` entry, whose text showed what was typed or
/// copied.
inline constexpr std::string_view withheld = "(withheld)";

/// `address` without query values, fragment and user information; only its scheme, host and
/// port when the rest shows what was typed; nothing when an address without a host does.
std::optional<std::string> screenedAddress(std::string_view address, const TypedTextScreen& typed);

/// `text` with every address in it shortened; `withheld` when it shows what was typed.
std::string screenedText(std::string_view text, const TypedTextScreen& typed);

/// A typing run's own record, whose window title and page address were read once its first
/// keys had reached the application: a title that shows the beginning of `typed` is withheld,
/// and an address that does keeps its scheme, host and port.
void screenRunStart(ActionRecord& record, std::string_view typed);

/// Screens the page address and the target's texts (label, identifier, role description,
/// help, window title, nearby text). Roles, the application and its bundle id are the
/// system's own names and pass as they are.
void screen(ActionRecord& record, const TypedTextScreen& typed);
/// Screens the window title and the page address.
void screen(FocusRecord& record, const TypedTextScreen& typed);

} // namespace record_screening
