#include "platform/linux/x11/event_fd.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

EventFd::EventFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EventFd::~EventFd() {
    if (fd_ >= 0) ::close(fd_);
}

void EventFd::signal() const {
    const std::uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);
}

void EventFd::clear() const {
    std::uint64_t count = 0;
    (void)!::read(fd_, &count, sizeof count);
}
