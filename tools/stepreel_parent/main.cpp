// stepreel-parent: starts `stepreel --stream`, answers its permission requests, and writes
// the episode it records to a folder (see docs/protocol.md).
#include "tools/stepreel_parent/episode_folder.h"
#include "tools/stepreel_parent/frame_parser.h"
#include "tools/stepreel_parent/recorder_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace stepreel_parent;

namespace {

constexpr const char* usage =
    "usage: stepreel-parent --out DIR [--stepreel PATH] [--deny-permit N]... [--deny-all]\n"
    "                       [--raw FILE] [--replay FILE] [-- RECORDER-ARGS...]\n"
    "Records one episode into DIR until Ctrl+C. --deny-permit N denies the Nth permission\n"
    "request (counting from 1), --deny-all denies every one. --raw keeps a copy of the byte\n"
    "stream. --replay reads a saved stream instead of starting the recorder.\n";

struct Options {
    std::filesystem::path out;
    std::string stepreel;
    std::set<std::uint64_t> denied;
    bool denyAll = false;
    std::optional<std::string> raw;
    std::optional<std::string> replay;
    std::vector<std::string> recorderArgs;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        std::optional<std::string> v;
        if (arg == "--") {
            options.recorderArgs.assign(argv + i + 1, argv + argc);
            break;
        } else if (arg == "--deny-all") {
            options.denyAll = true;
        } else if (arg == "--out" && (v = value())) {
            options.out = *v;
        } else if (arg == "--stepreel" && (v = value())) {
            options.stepreel = *v;
        } else if (arg == "--raw" && (v = value())) {
            options.raw = *v;
        } else if (arg == "--replay" && (v = value())) {
            options.replay = *v;
        } else if (arg == "--deny-permit" && (v = value())) {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(v->c_str(), &end, 10);
            if (n == 0 || *end != '\0') return std::nullopt;
            options.denied.insert(n);
        } else {
            return std::nullopt;
        }
    }
    if (options.out.empty()) return std::nullopt;
    return options;
}

/// The recorder built beside this program (build/<preset>/recorder/stepreel), else PATH.
std::string defaultRecorderPath(const char* argv0) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec && std::strchr(argv0, '/') != nullptr) self = std::filesystem::absolute(argv0, ec);
    if (!self.empty()) {
        const auto dir = self.parent_path();
        for (const auto& candidate : {dir / "../recorder/stepreel", dir / "stepreel"}) {
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate.lexically_normal().string();
        }
    }
    return "stepreel";
}

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signo) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

void say(const std::string& message) {
    std::fprintf(stderr, "stepreel-parent: %s\n", message.c_str());
}

/// Reads frames from `input`, answers permits through `recorder` (absent in a replay),
/// and hands every valid frame to `folder`. Returns the number of faults reported.
int pump(int input, RecorderProcess* recorder, EpisodeFolder& folder, const Options& options) {
    FrameParser parser;
    std::ofstream raw;
    if (options.raw) raw.open(*options.raw, std::ios::binary | std::ios::trunc);
    int faults = 0;
    std::uint64_t permits = 0;
    int interrupts = 0;
    bool answering = recorder != nullptr;
    std::vector<std::uint8_t> buffer(1 << 16);
    for (;;) {
        pollfd fds[2] = {{input, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            say(std::string("poll failed: ") + std::strerror(errno));
            return faults + 1;
        }
        if (fds[1].revents & POLLIN) {
            unsigned char signo = 0;
            if (::read(signalPipe[0], &signo, 1) == 1 && recorder) {
                // First Ctrl+C: let the recorder finish its episode; a second one ends it.
                recorder->signal(++interrupts == 1 ? SIGINT : SIGKILL);
            }
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(input, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (raw.is_open()) raw.write(reinterpret_cast<const char*>(buffer.data()), got);
        parser.feed(buffer.data(), static_cast<std::size_t>(got));
        while (auto frame = parser.next()) {
            const auto problem = validateFrame(*frame);
            if (problem) {
                ++faults;
                say("byte offset " + std::to_string(frame->offset) + ": \"" + frame->type +
                    "\" frame: " + *problem);
            }
            if (frame->type == "permit") {
                ++permits;
                const bool grant = !options.denyAll && options.denied.count(permits) == 0;
                if (answering && !recorder->answer(grant)) answering = false;
                continue;
            }
            if (problem) continue;
            if (auto fault = folder.accept(*frame, nowMs())) {
                ++faults;
                say("byte offset " + std::to_string(frame->offset) + ": " + *fault);
            }
        }
        if (parser.error() && answering) {
            // Frame boundaries are lost: stop answering (the recorder then sees the end of
            // its input and records nothing more) and ask it to finish.
            say("malformed frame at " + parser.error()->describe());
            ++faults;
            answering = false;
            recorder->closeInput();
            recorder->signal(SIGINT);
        }
    }
    if (raw.is_open()) raw.close();
    if (!parser.error()) {
        if (const auto& error = parser.finish()) {
            say("truncated stream at " + error->describe());
            ++faults;
        }
    } else if (!recorder) {
        say("malformed frame at " + parser.error()->describe());
        ++faults;
    }
    return faults;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> parsed = parseOptions(argc, argv);
    if (!parsed) {
        std::fputs(usage, stderr);
        return 2;
    }
    Options options = *parsed;
    if (::pipe(signalPipe) != 0) return 2;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto folder = EpisodeFolder::create(options.out, nowMs(), error);
    if (!folder) {
        say(error);
        return 2;
    }
    int faults = 0;
    int recorderStatus = 0;
    if (options.replay) {
        const int fd = ::open(options.replay->c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            say("cannot open " + *options.replay + ": " + std::strerror(errno));
            return 2;
        }
        faults = pump(fd, nullptr, *folder, options);
        ::close(fd);
    } else {
        if (options.stepreel.empty()) options.stepreel = defaultRecorderPath(argv[0]);
        std::vector<std::string> args{"--stream"};
        args.insert(args.end(), options.recorderArgs.begin(), options.recorderArgs.end());
        auto recorder = RecorderProcess::start(options.stepreel, args, error);
        if (!recorder) {
            say(error);
            return 2;
        }
        faults = pump(recorder->outputFd(), recorder.get(), *folder, options);
        recorderStatus = recorder->wait();
    }
    if (auto fault = folder->close()) {
        say(*fault);
        ++faults;
    }
    const std::string dir = folder->dir().string();
    say("episode " + folder->meta().value("id", std::string("(none)")) + " written to " + dir +
        ": " + std::to_string(folder->actionCount()) + " records, " +
        std::to_string(folder->frameCount()) + " with screenshots, " +
        std::to_string(folder->lossCount()) + " screenshots lost");
    say("timeline: " + dir + "/index.html");
    if (!folder->finished()) {
        say("the stream ended without a \"finish\" frame");
        ++faults;
    }
    if (recorderStatus != 0) {
        say("stepreel exited with status " + std::to_string(recorderStatus));
        return recorderStatus;
    }
    return faults == 0 ? 0 : 1;
}
