// Relations between AT-SPI accessibles that the AX names have no attribute for.
#pragma once

#include <atspi/atspi.h>

namespace atspi_relations {

/// The attribute under which a window names the document it shows.
inline constexpr const char* embeddedDocumentAttribute = "AXEmbeddedDocument";

/// The first target of `object`'s "embeds" relation (a browser frame names its selected
/// tab's document this way), with a reference the caller owns; null when there is none.
AtspiAccessible* embeddedDocument(AtspiAccessible* object);

} // namespace atspi_relations
