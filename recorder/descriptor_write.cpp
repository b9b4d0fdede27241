#include "recorder/descriptor_write.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

enum class Wait { writable, givenUp };

// Waits until `fd` takes more bytes; with a give-up descriptor, gives up once its grace has
// passed (`deadline` is set when it is first seen readable).
Wait waitWritable(int fd, const GiveUp& giveUp, std::optional<Clock::time_point>& deadline) {
    for (;;) {
        pollfd entries[2] = {{fd, POLLOUT, 0}, {giveUp.fd, POLLIN, 0}};
        int timeout = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        const int ready = ::poll(entries, giveUp.fd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR) return Wait::writable; // the write will tell
        if (giveUp.fd >= 0 && (entries[1].revents & POLLIN) != 0 && !deadline)
            deadline = Clock::now() + std::chrono::milliseconds(giveUp.graceMs);
        if (ready > 0 && entries[0].revents != 0) return Wait::writable;
        if (deadline && Clock::now() >= *deadline) return Wait::givenUp;
    }
}

} // namespace

WriteOutcome writeFully(int fd, std::span<const std::uint8_t> bytes, GiveUp giveUp) {
    const std::size_t total = bytes.size();
    std::optional<Clock::time_point> deadline;
    while (!bytes.empty()) {
        if (giveUp.fd >= 0 && waitWritable(fd, giveUp, deadline) == Wait::givenUp)
            return WriteOutcome::givenUp;
        // After a wait, a pipe always takes this much without blocking.
        const std::size_t chunk =
            giveUp.fd >= 0 ? std::min<std::size_t>(bytes.size(), PIPE_BUF) : bytes.size();
        const ssize_t written = ::write(fd, bytes.data(), chunk);
        if (written >= 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (giveUp.fd < 0) {
                pollfd entry{fd, POLLOUT, 0};
                while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
                }
            }
            continue;
        }
        if (errno == EPIPE) return WriteOutcome::brokenPipe;
        return bytes.size() < total ? WriteOutcome::cutShort : WriteOutcome::failed;
    }
    return WriteOutcome::written;
}
