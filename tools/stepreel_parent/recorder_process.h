// The recorder as a child process: its standard output is read here, its standard input
// carries one answer byte per permission request, and its standard error comes through a
// pipe, so the parent can pass it on and note what it says about the episode.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace stepreel_parent {

class RecorderProcess {
public:
    /// Starts `path` with `args` in its own process group, so that a terminal's Ctrl+C
    /// reaches the parent only and the parent decides what the recorder receives.
    static std::unique_ptr<RecorderProcess>
    start(const std::string& path, const std::vector<std::string>& args, std::string& error);
    ~RecorderProcess();
    RecorderProcess(const RecorderProcess&) = delete;
    RecorderProcess& operator=(const RecorderProcess&) = delete;

    /// Readable end of the recorder's standard output.
    int outputFd() const { return output_; }
    /// Readable end of the recorder's standard error.
    int errorFd() const { return error_; }
    /// Writes one answer byte: 01 grants, 00 denies. False when the recorder is gone.
    bool answer(bool grant);
    /// Closes the recorder's standard input: every later permission request is denied.
    void closeInput();
    /// Sends a signal to the recorder while it runs.
    void signal(int signo);
    /// Waits for the recorder to end; its exit status, or 128 + the signal that ended it.
    int wait();

private:
    RecorderProcess(pid_t pid, int input, int output, int error)
        : pid_(pid), input_(input), output_(output), error_(error) {}
    pid_t pid_;
    int input_;
    int output_;
    int error_;
    std::optional<int> status_;
};

} // namespace stepreel_parent
