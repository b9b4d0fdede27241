#include "recorder/user_messages.h"

#include "recorder/descriptor_write.h"

#include <atomic>

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
    (void)writeFully(messageFd().load(), bytesOf(utf8));
}

} // namespace UserMessages
