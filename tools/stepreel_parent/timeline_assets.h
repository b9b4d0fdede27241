// The timeline page's source files (tools/stepreel_parent/timeline/), built into the parent.
#pragma once

#include <string_view>

namespace stepreel_parent {

extern const std::string_view timelineHtml; ///< the page, with @@STYLE@@, @@SCRIPT@@, @@DATA@@
extern const std::string_view timelineCss;
extern const std::string_view timelineJs;

} // namespace stepreel_parent
