// The three privacy permissions the recorder needs, as "granted", "denied" or "unknown".
#pragma once

#include "platform/permissions.h"

#include <functional>
#include <string>
#include <string_view>

namespace Permission {

std::string accessibility(Permissions& permissions);
std::string screenRecording(Permissions& permissions);
std::string inputMonitoring(Permissions& permissions);

/// True when all three are "granted".
bool allGranted(Permissions& permissions);

/// The three lines "accessibility=…", "screen_recording=…", "input_monitoring=…".
std::string checkText(Permissions& permissions);
/// What the person can do about each permission that is not fully usable, one indented line
/// per cause; empty when the platform has nothing to add to the states.
std::string remedyText(Permissions& permissions);
/// Writes `checkText` through `writeOut`.
void printCheck(Permissions& permissions, const std::function<void(std::string_view)>& writeOut);

/// Asks the system for the three permissions; the answers are not looked at.
void request(Permissions& permissions);

} // namespace Permission
