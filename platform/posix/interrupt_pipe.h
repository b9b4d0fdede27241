// A self-pipe that SIGINT makes readable: an event loop watches its read end, and waits
// outside the loop can poll it too. While the pipe exists, SIGINT only writes a byte to it
// instead of ending the process; the handler it replaced is put back when it goes.
#pragma once

#include <csignal>

class InterruptPipe {
public:
    /// Opens the pipe (both ends non-blocking and closed on exec) and installs the SIGINT
    /// handler; readDescriptor() is negative when no pipe could be made.
    InterruptPipe();
    ~InterruptPipe();
    InterruptPipe(const InterruptPipe&) = delete;
    InterruptPipe& operator=(const InterruptPipe&) = delete;

    int readDescriptor() const { return readEnd_; }
    /// Takes every byte waiting: the signals that came before, answered at once.
    void drain() const;

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
    struct sigaction previous_ {};
    bool installed_ = false;
};
