#include "platform/linux/x11/press_hold_keeper.h"

#include "platform/linux/x11/press_hold.h"
#include "platform/linux/x11/x11_connection.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace press_hold_keeper {
namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// The termination signals, taken as readable data instead of ending the process at once.
class TerminationSignals {
public:
    TerminationSignals() {
        sigemptyset(&set_);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
            sigaddset(&set_, signal);
        sigprocmask(SIG_BLOCK, &set_, nullptr);
        fd_ = signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    ~TerminationSignals() {
        if (fd_ >= 0) close(fd_);
    }
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    int descriptor() const { return fd_; }

private:
    sigset_t set_{};
    int fd_ = -1;
};

/// Reads the releases waiting on the pipe; false once it has ended.
bool readReleases(int fd, PressHold& hold, std::uint8_t (&partial)[4], std::size_t& partialSize) {
    std::uint8_t buffer[256];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return false;
        if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        for (ssize_t i = 0; i < got; ++i) {
            partial[partialSize++] = buffer[i];
            if (partialSize < sizeof partial) continue;
            std::uint32_t serverTime = 0;
            std::memcpy(&serverTime, partial, sizeof serverTime);
            hold.releaseUpTo(serverTime, steadyMs());
            partialSize = 0;
        }
    }
}

} // namespace

int run() {
    struct stat pipeStatus {};
    if (fstat(releaseDescriptor, &pipeStatus) != 0 || !S_ISFIFO(pipeStatus.st_mode)) return 2;
    fcntl(releaseDescriptor, F_SETFL, fcntl(releaseDescriptor, F_GETFL) | O_NONBLOCK);
    const TerminationSignals signals;
    std::unique_ptr<x11::Connection> connection = x11::Connection::open();
    if (!connection) return 1;
    std::unique_ptr<PressHold> hold = PressHold::create(*connection);
    if (!hold) return 1;
    // The grabs are in place once the server has answered: the recorder may say it is ready.
    connection->sync();
    const std::uint8_t ready = 1;
    (void)!write(readyDescriptor, &ready, sizeof ready);
    close(readyDescriptor);

    std::uint8_t partial[4] = {};
    std::size_t partialSize = 0;
    bool recorderThere = true;
    while (recorderThere && !connection->broken()) {
        const auto expiry = hold->msUntilExpiry(steadyMs());
        pollfd watched[3] = {{releaseDescriptor, POLLIN, 0},
                             {connection->fileDescriptor(), POLLIN, 0},
                             {signals.descriptor(), POLLIN, 0}};
        if (poll(watched, 3, expiry.value_or(-1)) < 0 && errno != EINTR) break;
        if (watched[2].revents != 0) break;
        // Releases first: a press that comes with the release of the one before may be held.
        if (watched[0].revents != 0)
            recorderThere = readReleases(releaseDescriptor, *hold, partial, partialSize);
        while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection->xcb())})
            hold->handle(*event, steadyMs());
        hold->expire(steadyMs());
        connection->flush();
    }
    // However the recorder ended, a press it had held goes on once; so does a press caught
    // meanwhile whose event has not been read yet (it would be lost with the connection).
    // Presses are replayed while their grabs stand: the server drops the replay of a press
    // whose passive grab was undone meanwhile.
    const auto letAllGo = [&] {
        hold->letGo(steadyMs());
        connection->sync();
        while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection->xcb())}) {
            hold->handle(*event, steadyMs());
            hold->letGo(steadyMs());
        }
    };
    letAllGo();
    hold->ungrabAll();
    letAllGo();
    connection->flush();
    return 0;
}

} // namespace press_hold_keeper
