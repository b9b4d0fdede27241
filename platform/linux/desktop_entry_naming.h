// X clients' applications named after their desktop entries: the naming both programs give
// their workspace.
#pragma once

#include "platform/linux/x11/ewmh_workspace.h"

/// Names applications from the desktop entries of the environment's XDG data directories,
/// remembering each answer.
ApplicationNaming desktopEntryNaming();
