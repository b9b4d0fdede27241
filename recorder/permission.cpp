#include "recorder/permission.h"

namespace Permission {
namespace {

std::string nameOf(PermissionState state) {
    switch (state) {
    case PermissionState::granted:
        return "granted";
    case PermissionState::denied:
        return "denied";
    case PermissionState::unknown:
        break;
    }
    return "unknown";
}

} // namespace

std::string accessibility(Permissions& permissions) {
    return nameOf(permissions.accessibility());
}

std::string screenRecording(Permissions& permissions) {
    return nameOf(permissions.screenRecording());
}

std::string inputMonitoring(Permissions& permissions) {
    return nameOf(permissions.inputMonitoring());
}

bool allGranted(Permissions& permissions) {
    return accessibility(permissions) == "granted" && screenRecording(permissions) == "granted" &&
           inputMonitoring(permissions) == "granted";
}

std::string checkText(Permissions& permissions) {
    std::string text = "accessibility=" + accessibility(permissions) + "\n";
    text += "screen_recording=" + screenRecording(permissions) + "\n";
    text += "input_monitoring=" + inputMonitoring(permissions) + "\n";
    return text;
}

std::string remedyText(Permissions& permissions) {
    std::string text;
    for (const std::string& line : permissions.remedies())
        text += "   " + line + "\n";
    return text;
}

void printCheck(Permissions& permissions, const std::function<void(std::string_view)>& writeOut) {
    writeOut(checkText(permissions));
}

void request(Permissions& permissions) {
    permissions.request();
}

} // namespace Permission
