// stepreel-parent's command line: recording (the default), `render DIR`, `redact DIR`,
// --help and --version.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace stepreel_parent {

struct RecordOptions {
    std::filesystem::path out;
    std::string stepreel; ///< empty: the recorder built beside this program, else PATH
    std::set<std::uint64_t> denied;
    bool denyAll = false;
    std::optional<std::string> raw;
    std::optional<std::string> replay;
    std::vector<std::string> recorderArgs;
};

struct RenderOptions {
    std::filesystem::path dir;
};

struct RedactOptions {
    std::filesystem::path dir;
    std::set<std::int64_t> seqs;
    bool framesOnly = false;
};

struct ShowHelp {};
struct ShowVersion {};

/// A command line that cannot be run: what is wrong with it, in a few words.
struct UsageError {
    std::string message;
};

using Command =
    std::variant<RecordOptions, RenderOptions, RedactOptions, ShowHelp, ShowVersion, UsageError>;

Command parseCommandLine(const std::vector<std::string>& args);

extern const char* const helpText;

} // namespace stepreel_parent
