// quillmap-helper: one subcommand, one JSON result on standard output.
#include "common/standard_descriptors.h"
#include "helper/dispatch.h"
#include "platform/core_dumps.h"
#include "platform/helper_platform.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Before the display connection or any file could land on a closed 0, 1 or 2 and
    // receive our JSON or be read as the classify input.
    keepStandardDescriptorsOpen();
    // Window text and screen contents pass through memory: never in a core file.
    disableCoreDumps();
#ifdef SIGPIPE
    // A parent that stopped reading makes the write fail ("failed to write output", status 1)
    // instead of killing the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const std::vector<std::string> arguments(argv, argv + argc);
    int status = 0;
    {
        HelperPlatform platform = makeHelperPlatform();
        helper::HelperIO io{std::cin, std::cout, std::cerr};
        status = helper::runHelper(arguments, platform, io);
    }
    std::cout.flush();
    std::cerr.flush();
    std::exit(status);
}
