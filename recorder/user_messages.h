// Status lines for the person at the terminal, written to standard error.
#pragma once

#include <string_view>

namespace UserMessages {

/// Replaces the descriptor messages go to (default 2).
void setFd(int fd);

/// Writes `utf8` as is, completely, in one go; failures are ignored.
void print(std::string_view utf8);

} // namespace UserMessages
