#pragma once

#include "platform/script_runner.h"

/// NSAppleScript; needs the Apple Events automation entitlement and the user's consent.
class AppleScriptRunner final : public ScriptRunner {
public:
    bool runsScripts() const override { return true; }
    std::optional<std::string> run(std::string_view source) override;
};
