#include "tools/stepreel_parent/command_line.h"

#include <charconv>
#include <string_view>

namespace stepreel_parent {

const char* const helpText =
    "Usage: stepreel-parent --out DIR [options] [-- RECORDER-ARGS...]\n"
    "       stepreel-parent render DIR\n"
    "       stepreel-parent redact DIR --seq N[,M...] [--frames-only]\n"
    "\n"
    "Records one episode of desktop work with stepreel into the folder DIR until Ctrl+C\n"
    "(or the terminal closes, or SIGTERM), and writes DIR/index.html, a timeline to read\n"
    "in a browser. Ctrl+Alt+P pauses and resumes the recording.\n"
    "\n"
    "Options:\n"
    "  --out DIR          the episode folder; it must not exist or be empty\n"
    "  --stepreel PATH    the recorder to run (default: the one built beside this program)\n"
    "  --raw FILE         also keep the recorder's byte stream in FILE\n"
    "  --replay FILE      build the folder from a saved stream instead of recording\n"
    "  --deny-permit N    deny the recorder's Nth permission request (from 1; repeatable)\n"
    "  --deny-all         deny every permission request\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Commands:\n"
    "  render DIR         rebuild DIR/index.html from the folder as it now stands\n"
    "  redact DIR --seq N[,M...]\n"
    "                     remove records N, M... (and the results and screenshots that\n"
    "                     belong to them) before the folder is passed on; with\n"
    "                     --frames-only keep the records and remove only the screenshots\n"
    "\n"
    "Exit status: 0 for a clean episode, the recorder's status when it was not 0, 1 for a\n"
    "fault in the stream or the folder, 2 for a usage error.\n"
    "The folder's files are described in docs/episode.md.\n";

namespace {

std::optional<std::int64_t> parseCount(std::string_view text) {
    std::int64_t value = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

Command parseRender(const std::vector<std::string>& args) {
    if (args.size() != 2) return UsageError{"render takes one folder"};
    return RenderOptions{args[1]};
}

Command parseRedact(const std::vector<std::string>& args) {
    RedactOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--frames-only") {
            options.framesOnly = true;
        } else if (arg == "--seq") {
            if (++i >= args.size()) return UsageError{"--seq needs record numbers"};
            std::string_view list = args[i];
            while (true) {
                const auto comma = list.find(',');
                const auto seq = parseCount(list.substr(0, comma));
                if (!seq) return UsageError{"--seq takes record numbers such as 4,17"};
                options.seqs.insert(*seq);
                if (comma == std::string_view::npos) break;
                list.remove_prefix(comma + 1);
            }
        } else if (!arg.starts_with("-") && options.dir.empty()) {
            options.dir = arg;
        } else {
            return UsageError{"redact does not take " + arg};
        }
    }
    if (options.dir.empty()) return UsageError{"redact needs a folder"};
    if (options.seqs.empty()) return UsageError{"redact needs --seq"};
    return options;
}

} // namespace

Command parseCommandLine(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "render") return parseRender(args);
    if (!args.empty() && args[0] == "redact") return parseRedact(args);
    RecordOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") return ShowHelp{};
        if (arg == "--version") return ShowVersion{};
        if (arg == "--") {
            options.recorderArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                        args.end());
            break;
        }
        if (arg == "--deny-all") {
            options.denyAll = true;
            continue;
        }
        const bool takesValue = arg == "--out" || arg == "--stepreel" || arg == "--raw" ||
                                arg == "--replay" || arg == "--deny-permit";
        if (!takesValue) return UsageError{"unknown option " + arg};
        if (i + 1 >= args.size()) return UsageError{arg + " needs a value"};
        const std::string& value = args[++i];
        if (arg == "--out") {
            options.out = value;
        } else if (arg == "--stepreel") {
            options.stepreel = value;
        } else if (arg == "--raw") {
            options.raw = value;
        } else if (arg == "--replay") {
            options.replay = value;
        } else {
            const auto n = parseCount(value);
            if (!n || *n == 0) return UsageError{"--deny-permit takes a number from 1"};
            options.denied.insert(static_cast<std::uint64_t>(*n));
        }
    }
    if (options.out.empty()) return UsageError{"--out DIR is required"};
    return options;
}

} // namespace stepreel_parent
