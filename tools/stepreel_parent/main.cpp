// stepreel-parent: starts `stepreel --stream`, answers its permission requests, and writes
// the episode it records to a folder; renders and redacts such folders (docs/episode.md).
#include "common/version.h"
#include "tools/stepreel_parent/command_line.h"
#include "tools/stepreel_parent/episode_files.h"
#include "tools/stepreel_parent/episode_redaction.h"
#include "tools/stepreel_parent/folder_lock.h"
#include "tools/stepreel_parent/record_session.h"
#include "tools/stepreel_parent/timeline_page.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace stepreel_parent;

namespace {

void say(const std::string& message) {
    std::fprintf(stderr, "stepreel-parent: %s\n", message.c_str());
}

int render(const RenderOptions& options) {
    const auto lock = FolderLock::tryLock(options.dir);
    if (!lock) {
        say(options.dir.string() + " cannot be opened or is still being recorded");
        return 1;
    }
    std::string error;
    const auto content = readEpisode(options.dir, error);
    if (!content) {
        say(error);
        return 1;
    }
    if (!replaceFile(options.dir / "index.html",
                     renderTimeline(*content, folderName(options.dir)))) {
        say("cannot write " + (options.dir / "index.html").string());
        return 1;
    }
    say("timeline: " + (options.dir / "index.html").string());
    return 0;
}

int redact(const RedactOptions& options) {
    std::string error;
    const auto done = redactEpisode(options.dir, {options.seqs, options.framesOnly}, error);
    if (!done) {
        say(error);
        return 1;
    }
    say("removed " + std::to_string(done->records.size()) + " records and " +
        std::to_string(done->frames.size()) + " screenshots from " + options.dir.string() +
        "; timeline: " + (options.dir / "index.html").string());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Command command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* usage = std::get_if<UsageError>(&command)) {
        say(usage->message);
        std::fputs("Try 'stepreel-parent --help'.\n", stderr);
        return 2;
    }
    if (std::holds_alternative<ShowHelp>(command)) {
        std::fputs(helpText, stdout);
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(command)) {
        std::printf("stepreel-parent %.*s\n", static_cast<int>(quillVersion.size()),
                    quillVersion.data());
        return 0;
    }
    if (const auto* options = std::get_if<RenderOptions>(&command)) return render(*options);
    if (const auto* options = std::get_if<RedactOptions>(&command)) return redact(*options);
    return runRecordSession(std::get<RecordOptions>(command), argv[0]);
}
