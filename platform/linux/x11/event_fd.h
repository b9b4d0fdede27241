// An eventfd: a descriptor that one thread makes readable to wake another, which clears it.
#pragma once

class EventFd {
public:
    /// Non-blocking and closed on exec; descriptor() is negative when none could be made.
    EventFd();
    ~EventFd();
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    int descriptor() const { return fd_; }
    /// Makes the descriptor readable (safe from any thread).
    void signal() const;
    /// Makes it unreadable again until the next signal().
    void clear() const;

private:
    int fd_;
};
