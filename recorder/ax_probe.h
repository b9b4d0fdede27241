// Reads the accessibility tree for the recorder: the element under a point, the front
// window's title and page address. Stateless; every platform failure gives an absent value.
#pragma once

#include "platform/accessibility.h"
#include "platform/geometry.h"
#include "recorder/records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace AXProbe {

/// The element at `point` (global, top-left origin), described; absent when there is none.
std::optional<AXTarget> elementAt(Accessibility& ax, geo::Point point,
                                  std::optional<std::int32_t> pid);
/// Page address shown by the front window of `pid`.
std::optional<std::string> frontURL(Accessibility& ax, std::int32_t pid);
/// Title of the focused (else main) window of `pid`.
std::optional<std::string> frontWindowTitle(Accessibility& ax, std::int32_t pid);

std::optional<std::string> str(Accessibility& ax, const AXElement& element,
                               std::string_view attribute);
AXElement elementAttr(Accessibility& ax, const AXElement& element, std::string_view attribute);
std::vector<AXElement> children(Accessibility& ax, const AXElement& element);
std::optional<std::vector<double>> frame(Accessibility& ax, const AXElement& element);
bool isSecure(Accessibility& ax, const AXElement& element);

} // namespace AXProbe
