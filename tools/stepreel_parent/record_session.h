// One recording (or replay of a saved stream) into an episode folder: starts the recorder,
// answers its permission requests, passes its standard error on, and ends the episode
// cleanly on Ctrl+C, SIGTERM or a closed terminal (SIGHUP).
#pragma once

#include "tools/stepreel_parent/command_line.h"

namespace stepreel_parent {

/// Runs the recording and returns the parent's exit status.
int runRecordSession(RecordOptions options, const char* argv0);

} // namespace stepreel_parent
