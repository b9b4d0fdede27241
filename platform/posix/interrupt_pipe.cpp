#include "platform/posix/interrupt_pipe.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

// Where the SIGINT handler writes. The handler can reach nothing but process-wide state.
std::atomic<int> interruptWriteFd{-1};

void noteInterrupt(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(interruptWriteFd.load(), &byte, 1);
    errno = saved;
}

bool openPipe(int ends[2]) {
#if defined(__linux__)
    return ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0;
#else
    if (::pipe(ends) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(ends[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(ends[i], F_SETFL, ::fcntl(ends[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
#endif
}

} // namespace

InterruptPipe::InterruptPipe() {
    int ends[2];
    if (!openPipe(ends)) return;
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    interruptWriteFd.store(writeEnd_);
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    installed_ = ::sigaction(SIGINT, &action, &previous_) == 0;
}

InterruptPipe::~InterruptPipe() {
    if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
    interruptWriteFd.store(-1);
    for (const int fd : {readEnd_, writeEnd_}) {
        if (fd >= 0) ::close(fd);
    }
}

void InterruptPipe::drain() const {
    char bytes[64];
    while (::read(readEnd_, bytes, sizeof bytes) > 0) {
    }
}
