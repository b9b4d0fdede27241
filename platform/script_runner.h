// Scripts that applications answer (AppleScript on macOS).
#pragma once

#include <optional>
#include <string>
#include <string_view>

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    /// False on a system whose applications answer no scripts; `run` then gives nothing.
    virtual bool runsScripts() const = 0;
    /// Compiles and runs `source`; its string result as given (valid UTF-8, possibly empty),
    /// or nothing when it cannot be compiled, fails, or gives no string.
    virtual std::optional<std::string> run(std::string_view source) = 0;
};
