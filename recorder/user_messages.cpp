#include "recorder/user_messages.h"

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace UserMessages {
namespace {

std::atomic<int>& messageFd() {
    static std::atomic<int> fd{2};
    return fd;
}

} // namespace

void setFd(int fd) {
    messageFd().store(fd);
}

void print(std::string_view utf8) {
    const int fd = messageFd().load();
    while (!utf8.empty()) {
        const ssize_t written = ::write(fd, utf8.data(), utf8.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        utf8.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace UserMessages
