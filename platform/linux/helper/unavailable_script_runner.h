// Linux has no AppleScript: no application answers a script.
#pragma once

#include "platform/script_runner.h"

class UnavailableScriptRunner final : public ScriptRunner {
public:
    bool runsScripts() const override { return false; }
    std::optional<std::string> run(std::string_view) override { return std::nullopt; }
};
