// Reads the accessibility tree for the recorder: the element under a point, the front
// window's title and page address. Every platform failure gives an absent value; what the
// deadline leaves no time for is absent too.
#pragma once

#include "platform/accessibility.h"
#include "platform/geometry.h"
#include "recorder/probe_deadline.h"
#include "recorder/records.h"
#include "recorder/typed_elements.h"
#include "recorder/web_area_cache.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace AXProbe {

/// Whether the element probed is where a typing run went.
enum class TypingTarget { no, yes };

/// The element at `point` (global, top-left origin) in the application `pid` (in any, when
/// absent), described; absent when there is none. `windowNumber` is the window the point was
/// in when the operation happened. `pageAddress`, when given, receives the address of the
/// page the element lies in. An element in `typedInto` is not named after its own text, nor
/// named among its siblings' nearby text; a typing run's focused target is added to it.
std::optional<AXTarget> elementAt(Accessibility& ax, geo::Point point,
                                  std::optional<std::int32_t> pid, const ProbeDeadline& deadline,
                                  std::optional<std::uint32_t> windowNumber = std::nullopt,
                                  std::optional<std::string>* pageAddress = nullptr,
                                  TypedElements* typedInto = nullptr,
                                  TypingTarget typing = TypingTarget::no);
/// The element with keyboard focus, in whichever application has it, described as `elementAt`
/// describes; absent when none can be read.
std::optional<AXTarget> focusedElement(Accessibility& ax, const ProbeDeadline& deadline,
                                       std::optional<std::string>* pageAddress = nullptr,
                                       TypedElements* typedInto = nullptr,
                                       TypingTarget typing = TypingTarget::no);
/// `element` described: role, label, path from the outermost ancestor, frame, window and
/// the texts around it; absent for a null element.
std::optional<AXTarget> describedElement(Accessibility& ax, const AXElement& element,
                                         std::optional<std::string>* pageAddress = nullptr,
                                         TypedElements* typedInto = nullptr,
                                         TypingTarget typing = TypingTarget::no);
/// Page address shown by the front window of `pid`; a window found to hold no web area is
/// remembered in `webAreas` and not searched again until its application's tree changes.
std::optional<std::string> frontURL(Accessibility& ax, std::int32_t pid,
                                    const ProbeDeadline& deadline, WebAreaCache& webAreas);
/// What names the front window of `pid`, read in one pass.
struct FrontWindow {
    std::optional<std::string> title; ///< of the focused (else main) window
    std::optional<std::string> url;   ///< as `frontURL` gives it
};
FrontWindow frontWindowOf(Accessibility& ax, std::int32_t pid, const ProbeDeadline& deadline,
                          WebAreaCache& webAreas);

std::optional<std::string> str(Accessibility& ax, const AXElement& element,
                               std::string_view attribute);
AXElement elementAttr(Accessibility& ax, const AXElement& element, std::string_view attribute);
/// The element's children without null entries; the first `maxCount` when given.
std::vector<AXElement> children(Accessibility& ax, const AXElement& element,
                                std::optional<std::size_t> maxCount = std::nullopt);
std::optional<std::vector<double>> frame(Accessibility& ax, const AXElement& element);

} // namespace AXProbe
