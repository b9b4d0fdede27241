// Descriptors 0, 1 and 2 stay taken, so no file or socket opened later becomes standard
// input, output or error.
#pragma once

/// Puts /dev/null on whichever of descriptors 0, 1 and 2 is closed. Call it first in main,
/// before anything opens a file, a socket or a display connection.
void keepStandardDescriptorsOpen();
