// The version both programs and the reference parent report.
#pragma once

#include <string_view>

inline constexpr std::string_view quillVersion = "0.9.0";
