// What GTK 4 gives as an element's accessible name, read as a person would read the element.
#pragma once

#include <optional>
#include <string>

namespace gtk4_names {

/// The name a person sees for an element GTK 4 names `name`. GTK 4.8 names an element that
/// nothing labels after its class ("GtkMenuButton", "EditorSourceView"): no name. It names a
/// control after its label twice, as written and as shown ("_Retry Retry", "7 7"): the shown
/// text, once. `namesItsText` (a label) is named by the text it shows, whatever it says.
std::optional<std::string> shownName(std::string name, bool namesItsText);

} // namespace gtk4_names
