#include "tools/stepreel_parent/record_session.h"

#include "tools/stepreel_parent/episode_folder.h"
#include "tools/stepreel_parent/frame_parser.h"
#include "tools/stepreel_parent/recorder_messages.h"
#include "tools/stepreel_parent/recorder_process.h"
#include "tools/stepreel_parent/recorder_version.h"
#include "tools/stepreel_parent/time_zone.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>

namespace stepreel_parent {

namespace {

constexpr int progressIntervalMs = 2000; ///< index.html is rewritten at most this often
constexpr int errorDrainMs = 10000;      ///< how long the recorder's last lines may lag

/// Written by the signal handler, read by the loop: the handler's only way out.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signo) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

bool catchSignals() {
    if (::pipe(signalPipe) != 0) return false;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signo, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void say(const std::string& message) {
    std::fprintf(stderr, "stepreel-parent: %s\n", message.c_str());
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

/// How the episode ended, as the parent saw it.
struct Ending {
    bool displayLost = false; ///< the recorder said so on its standard error
    bool parentEnded = false; ///< SIGTERM or SIGHUP reached the parent
    int faults = 0;
};

/// Reads the stream from `input` (and the recorder's standard error), answers permits
/// through `recorder` (absent in a replay), and hands every valid frame to `folder`.
class Pump {
public:
    Pump(const RecordOptions& options, RecorderProcess* recorder, EpisodeFolder& folder)
        : options_(options), recorder_(recorder), folder_(folder), answering_(recorder != nullptr) {
    }

    Ending run(int input) {
        int output = input;
        int error = recorder_ ? recorder_->errorFd() : -1;
        std::optional<std::chrono::steady_clock::time_point> outputEnded;
        auto lastProgress = std::chrono::steady_clock::now();
        while (output >= 0 || error >= 0) {
            if (output < 0 && std::chrono::steady_clock::now() - *outputEnded >
                                  std::chrono::milliseconds(errorDrainMs))
                break;
            pollfd fds[3] = {{output, POLLIN, 0}, {error, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
            if (::poll(fds, 3, 500) < 0) {
                if (errno == EINTR) continue;
                say(std::string("poll failed: ") + std::strerror(errno));
                ++ending_.faults;
                break;
            }
            if (fds[2].revents & POLLIN) takeSignal();
            if (stopReplay_) break;
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR) && !passOnErrors(error)) error = -1;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR) && !readFrames(output)) {
                output = -1;
                outputEnded = std::chrono::steady_clock::now();
            }
            const auto now = std::chrono::steady_clock::now();
            if (recorder_ && now - lastProgress > std::chrono::milliseconds(progressIntervalMs)) {
                lastProgress = now;
                if (auto fault = folder_.writeProgress()) say(*fault);
            }
        }
        finishStream();
        return ending_;
    }

private:
    void takeSignal() {
        unsigned char signo = 0;
        if (::read(signalPipe[0], &signo, 1) != 1) return;
        if (!recorder_) {
            stopReplay_ = true;
            return;
        }
        if (signo == SIGTERM || signo == SIGHUP) ending_.parentEnded = true;
        // The first signal lets the recorder finish its episode; a second one ends it.
        recorder_->signal(++interrupts_ == 1 ? SIGINT : SIGKILL);
    }

    /// Passes the recorder's standard error on; false at its end.
    bool passOnErrors(int fd) {
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) return true;
        if (got <= 0) return false;
        // A closed terminal makes this fail; the episode goes on regardless.
        [[maybe_unused]] auto written =
            ::write(STDERR_FILENO, buffer, static_cast<std::size_t>(got));
        for (RecorderMessage message : messages_.feed(buffer, static_cast<std::size_t>(got))) {
            if (message == RecorderMessage::paused) folder_.notePause(nowMs());
            if (message == RecorderMessage::resumed) folder_.noteResume(nowMs());
            if (message == RecorderMessage::displayLost) ending_.displayLost = true;
        }
        return true;
    }

    /// Reads and handles the next bytes of the stream; false at its end.
    bool readFrames(int fd) {
        const ssize_t got = ::read(fd, buffer_.data(), buffer_.size());
        if (got < 0 && errno == EINTR) return true;
        if (got <= 0) return false;
        if (options_.raw && !raw_.is_open())
            raw_.open(*options_.raw, std::ios::binary | std::ios::trunc);
        if (raw_.is_open()) raw_.write(reinterpret_cast<const char*>(buffer_.data()), got);
        parser_.feed(buffer_.data(), static_cast<std::size_t>(got));
        while (auto frame = parser_.next())
            handle(*frame);
        if (parser_.error() && answering_) {
            // Frame boundaries are lost: stop answering (the recorder then sees the end of
            // its input and records nothing more) and ask it to finish.
            say("malformed frame at " + parser_.error()->describe());
            ++ending_.faults;
            answering_ = false;
            recorder_->closeInput();
            recorder_->signal(SIGINT);
        }
        return true;
    }

    void handle(const Frame& frame) {
        const auto problem = validateFrame(frame);
        if (problem) {
            ++ending_.faults;
            say("byte offset " + std::to_string(frame.offset) + ": \"" + frame.type +
                "\" frame: " + *problem);
        }
        if (frame.type == "permit") {
            ++permits_;
            const bool grant = !options_.denyAll && options_.denied.count(permits_) == 0;
            if (answering_ && !recorder_->answer(grant)) answering_ = false;
            return;
        }
        if (problem) return;
        if (auto fault = folder_.accept(frame, nowMs())) {
            ++ending_.faults;
            say("byte offset " + std::to_string(frame.offset) + ": " + *fault);
        }
    }

    void finishStream() {
        if (raw_.is_open()) raw_.close();
        if (!parser_.error()) {
            if (const auto& error = parser_.finish()) {
                say("truncated stream at " + error->describe());
                ++ending_.faults;
            }
        } else if (!recorder_) {
            say("malformed frame at " + parser_.error()->describe());
            ++ending_.faults;
        }
    }

    const RecordOptions& options_;
    RecorderProcess* recorder_;
    EpisodeFolder& folder_;
    FrameParser parser_;
    RecorderMessages messages_;
    std::ofstream raw_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(1 << 16);
    Ending ending_;
    std::uint64_t permits_ = 0;
    int interrupts_ = 0;
    bool answering_;
    bool stopReplay_ = false;
};

std::string endReason(const EpisodeFolder& folder, const Ending& ending) {
    if (!folder.finished()) return "stream cut";
    if (ending.displayLost) return "display lost";
    if (ending.parentEnded) return "parent ended";
    return "completed";
}

} // namespace

int runRecordSession(RecordOptions options, const char* argv0) {
    if (!catchSignals()) {
        say(std::string("cannot create a pipe: ") + std::strerror(errno));
        return 1;
    }
    const bool replay = options.replay.has_value();
    if (!replay && options.stepreel.empty()) options.stepreel = defaultRecorderPath(argv0);
    EpisodeSetup setup;
    setup.dir = options.out;
    setup.startedAtMs = nowMs();
    setup.timeZone = localTimeZone(setup.startedAtMs);
    setup.replay = replay;
    if (!replay) setup.recorderVersion = askRecorderVersion(options.stepreel);
    std::string error;
    auto folder = EpisodeFolder::prepare(std::move(setup), error);
    if (!folder) {
        say(error);
        return 2;
    }

    Ending ending;
    int recorderStatus = 0;
    if (replay) {
        const int fd = ::open(options.replay->c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            say("cannot open " + *options.replay + ": " + std::strerror(errno));
            return 1;
        }
        ending = Pump(options, nullptr, *folder).run(fd);
        ::close(fd);
    } else {
        std::vector<std::string> args{"--stream"};
        args.insert(args.end(), options.recorderArgs.begin(), options.recorderArgs.end());
        auto recorder = RecorderProcess::start(options.stepreel, args, error);
        if (!recorder) {
            say(error);
            return 1;
        }
        ending = Pump(options, recorder.get(), *folder).run(recorder->outputFd());
        recorderStatus = recorder->wait();
    }

    int faults = ending.faults;
    const std::string dir = folder->dir().string();
    if (!folder->opened()) {
        say("the stream ended before its episode began; nothing was written to " + dir);
        return recorderStatus != 0 ? recorderStatus : 1;
    }
    const std::string reason = endReason(*folder, ending);
    if (auto fault = folder->close(reason)) {
        say(*fault);
        ++faults;
    }
    say("episode " + folder->meta().value("id", std::string("(none)")) + " (" + reason +
        ") written to " + dir + ": " + std::to_string(folder->actionCount()) + " records, " +
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

} // namespace stepreel_parent
