#include "tools/stepreel_parent/recorder_version.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace stepreel_parent {

namespace {

constexpr int answerTimeoutMs = 5000;
constexpr std::size_t longestAnswer = 4096;

bool isVersionCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '-' || c == '+' || c == '_';
}

} // namespace

std::optional<std::string> versionFromOutput(std::string_view output) {
    const std::string_view line = output.substr(0, output.find('\n'));
    const auto end = line.find_last_not_of(" \t\r");
    if (end == std::string_view::npos) return std::nullopt;
    const auto start = line.find_last_of(" \t", end);
    const std::string_view word =
        line.substr(start == std::string_view::npos ? 0 : start + 1,
                    end - (start == std::string_view::npos ? 0 : start + 1) + 1);
    if (word.empty() || word.size() > 64 || word[0] < '0' || word[0] > '9') return std::nullopt;
    for (char c : word)
        if (!isVersionCharacter(c)) return std::nullopt;
    return std::string(word);
}

std::optional<std::string> askRecorderVersion(const std::string& path) {
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        const int nothing = ::open("/dev/null", O_RDWR);
        ::dup2(nothing, STDIN_FILENO);
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        ::signal(SIGINT, SIG_DFL);
        ::execlp(path.c_str(), path.c_str(), "--version", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string output;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(answerTimeoutMs);
    char buffer[512];
    bool answered = false; ///< its output ended before the deadline
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd fd{fds[0], POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            answered = got == 0;
            break;
        }
        output.append(buffer, static_cast<std::size_t>(got));
        if (output.size() > longestAnswer) break;
    }
    ::close(fds[0]);
    // A recorder too old to know the option would start recording instead: end it.
    if (!answered) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return versionFromOutput(output);
}

} // namespace stepreel_parent
