#include "recorder/descriptor_write.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

WriteOutcome writeFully(int fd, std::span<const std::uint8_t> bytes) {
    const std::size_t total = bytes.size();
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written >= 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd entry{fd, POLLOUT, 0};
            while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
            }
            continue;
        }
        if (errno == EPIPE) return WriteOutcome::brokenPipe;
        return bytes.size() < total ? WriteOutcome::cutShort : WriteOutcome::failed;
    }
    return WriteOutcome::written;
}
