#include "tools/stepreel_parent/recorder_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace stepreel_parent {

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        read = fds[0];
        write = fds[1];
        ::fcntl(read, F_SETFD, FD_CLOEXEC);
        ::fcntl(write, F_SETFD, FD_CLOEXEC);
        return true;
    }
    void close() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
        read = write = -1;
    }
};

[[noreturn]] void execChild(const std::string& path, const std::vector<std::string>& args, Pipe& in,
                            Pipe& out, Pipe& err, Pipe& report) {
    ::setpgid(0, 0);
#ifdef __linux__
    // Never outlive the parent: a recorder whose parent is gone has nobody to answer it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(in.read, STDIN_FILENO);
    ::dup2(out.write, STDOUT_FILENO);
    ::dup2(err.write, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(path.c_str(), argv.data());
    const int error = errno;
    [[maybe_unused]] auto written = ::write(report.write, &error, sizeof error);
    ::_exit(127);
}

} // namespace

std::unique_ptr<RecorderProcess> RecorderProcess::start(const std::string& path,
                                                        const std::vector<std::string>& args,
                                                        std::string& error) {
    Pipe in, out, err, report;
    if (!in.open() || !out.open() || !err.open() || !report.open()) {
        error = std::string("cannot create pipes: ") + std::strerror(errno);
        in.close(), out.close(), err.close(), report.close();
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + std::strerror(errno);
        in.close(), out.close(), err.close(), report.close();
        return nullptr;
    }
    if (pid == 0) execChild(path, args, in, out, err, report);

    ::close(in.read);
    ::close(out.write);
    ::close(err.write);
    ::close(report.write);
    int childErrno = 0;
    ssize_t got;
    do {
        got = ::read(report.read, &childErrno, sizeof childErrno);
    } while (got < 0 && errno == EINTR);
    ::close(report.read);
    if (got == static_cast<ssize_t>(sizeof childErrno)) {
        error = "cannot run " + path + ": " + std::strerror(childErrno);
        ::close(in.write);
        ::close(out.read);
        ::close(err.read);
        ::waitpid(pid, nullptr, 0);
        return nullptr;
    }
    return std::unique_ptr<RecorderProcess>(new RecorderProcess(pid, in.write, out.read, err.read));
}

RecorderProcess::~RecorderProcess() {
    if (input_ >= 0) ::close(input_);
    if (output_ >= 0) ::close(output_);
    if (error_ >= 0) ::close(error_);
    if (!status_) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

bool RecorderProcess::answer(bool grant) {
    if (input_ < 0) return false;
    const unsigned char byte = grant ? 0x01 : 0x00;
    ssize_t written;
    do {
        written = ::write(input_, &byte, 1);
    } while (written < 0 && errno == EINTR);
    return written == 1;
}

void RecorderProcess::closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

void RecorderProcess::signal(int signo) {
    if (!status_) ::kill(pid_, signo);
}

int RecorderProcess::wait() {
    if (status_) return *status_;
    int raw = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &raw, 0);
    } while (got < 0 && errno == EINTR);
    if (got != pid_) {
        status_ = 255;
    } else if (WIFEXITED(raw)) {
        status_ = WEXITSTATUS(raw);
    } else {
        status_ = 128 + WTERMSIG(raw);
    }
    return *status_;
}

} // namespace stepreel_parent
