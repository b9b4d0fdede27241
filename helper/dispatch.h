// The helper's command line: one subcommand per run, chosen by exact name.
#pragma once

#include "helper/output.h"
#include "platform/helper_platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace helper {

inline constexpr std::string_view usageText =
    "usage: quillmap-helper <context|ocr [windowId]|classify|icon <bundleId>|llm-status|"
    "--self-test|--self-test-pii>";

/// Runs the subcommand named by `arguments[1]` (element 0 is the program path) with the
/// operand `arguments[2]` where it takes one; later arguments are ignored. Returns the exit
/// status: 0 after the result was written, otherwise the status of the failure, whose one
/// message line has been written to `io.err`. Nothing reaches `io.out` on a failure path.
int runHelper(const std::vector<std::string>& arguments, HelperPlatform& platform, HelperIO& io);

} // namespace helper
