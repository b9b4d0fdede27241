#include "platform/linux/x11/press_hold_link.h"

#include "platform/linux/x11/press_hold_keeper.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

/// posix_spawn's file actions and attributes, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

/// Waits until the keeper says its grabs are in place, it ends, or a bounded time passes, so
/// that the presses of a recording just started are held too.
void waitUntilGrabbing(int readyEnd) {
    constexpr int limitMs = 3000;
    pollfd ready{readyEnd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        const int got = poll(&ready, 1, int(left.count()));
        if (got > 0 || (got < 0 && errno != EINTR)) return;
    }
}

} // namespace

std::unique_ptr<PressHoldLink> PressHoldLink::start() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    const int readEnd = ends[0];
    const int writeEnd = ends[1];
    int readyEnds[2];
    if (pipe2(readyEnds, O_CLOEXEC) != 0) {
        close(readEnd);
        close(writeEnd);
        return nullptr;
    }

    SpawnSetup setup;
    // The keeper holds none of the parent's pipes, so their ends close with the recorder.
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, readEnd, press_hold_keeper::releaseDescriptor);
    posix_spawn_file_actions_adddup2(&setup.actions, readyEnds[1],
                                     press_hold_keeper::readyDescriptor);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions,
                                             press_hold_keeper::readyDescriptor + 1);
    // A session of its own: job control (Ctrl+Z, Ctrl+C at the terminal) stops or ends only
    // the recorder's group.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string name(press_hold_keeper::programName);
    char* argv[] = {name.data(), nullptr};
    pid_t keeper = -1;
    const int failed =
        posix_spawn(&keeper, "/proc/self/exe", &setup.actions, &setup.attributes, argv, environ);
    close(readEnd);
    close(readyEnds[1]);
    if (failed != 0) {
        close(readyEnds[0]);
        close(writeEnd);
        return nullptr;
    }
    waitUntilGrabbing(readyEnds[0]);
    close(readyEnds[0]);
    fcntl(writeEnd, F_SETFL, fcntl(writeEnd, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<PressHoldLink>(new PressHoldLink(keeper, writeEnd));
}

PressHoldLink::~PressHoldLink() {
    close(writeEnd_);
    // Collected if it has ended already; otherwise it ends on its own, adopted by init.
    waitpid(keeper_, nullptr, WNOHANG);
}

void PressHoldLink::releaseUpTo(std::uint32_t serverTime) const {
    // Four bytes go into a pipe whole or not at all; a full pipe (keeper stopped) drops them.
    (void)!write(writeEnd_, &serverTime, sizeof serverTime);
}
