// What the recorder's command line says about the program itself: its help, its version and
// why it will not write frames to a terminal.
#pragma once

#include <string>
#include <string_view>

namespace CommandLine {

/// The `--help` text: options, what goes where, exit statuses.
std::string_view helpText();
/// The `--version` line.
std::string versionLine();
/// Written to standard error when standard output is a terminal in a mode that writes frames.
std::string_view terminalRefusal();
/// True when `fd` is a terminal, where binary frames would only garble the screen.
bool isTerminal(int fd);

} // namespace CommandLine
