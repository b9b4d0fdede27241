// The recorder's standard error, read line by line for the few lines that tell the parent
// about the episode: pause, resume, and the end on a lost display. Everything else is for
// the person and passes through untouched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace stepreel_parent {

enum class RecorderMessage { paused, resumed, displayLost };

class RecorderMessages {
public:
    /// Takes the next bytes of the recorder's standard error; returns the messages of the
    /// lines completed by them, in order.
    std::vector<RecorderMessage> feed(const char* data, std::size_t size);

private:
    std::string line_;
};

} // namespace stepreel_parent
