// stepreel: records the user's desktop operations as frames for the parent process.
#include "common/standard_descriptors.h"
#include "platform/core_dumps.h"
#include "platform/recorder_platform.h"
#include "recorder/capture_stream.h"
#include "recorder/startup.h"

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Before anything opens a file or socket that could land on a closed 0, 1 or 2.
    keepStandardDescriptorsOpen();
    // Typed runs and clipboard text live in memory for a while: never in a core file.
    disableCoreDumps();
    // A parent that closes our output must not kill us mid-frame; the stream handles EPIPE.
    CaptureStream::ignoreBrokenPipeSignal();
    const std::vector<std::string> args(argv, argv + argc);
    // This executable started again by the recorder for the platform's own work.
    if (const auto status = runPlatformProcess(args)) return *status;
    RecorderPlatform platform = makeRecorderPlatform();
    StartupEnvironment environment;
    environment.exitProcess = [](int status) { std::_Exit(status); };
    return runStepreel(args, platform, environment);
}
