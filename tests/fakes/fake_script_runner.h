// Scripts answered from a table; every source run is recorded.
#pragma once

#include "platform/script_runner.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FakeScriptRunner : public ScriptRunner {
public:
    bool runsScripts() const override { return true; }
    std::optional<std::string> run(std::string_view source) override {
        sources.emplace_back(source);
        const auto found = answers.find(std::string(source));
        if (found == answers.end()) return std::nullopt;
        return found->second;
    }

    /// Result per exact source; a source not listed fails (nothing).
    std::map<std::string, std::string> answers;
    std::vector<std::string> sources;
};
