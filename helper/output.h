// The helper's single way of printing a result and of failing, and its blocking runner.
//
// A subcommand writes its result through `printJSON(io, value)` (or plain text to `io.out`)
// and returns; the process then exits with status 0. To end the process with a message and
// a status it calls `fail(message, code)`, which throws a `HelperExit` that `runHelper`
// catches: the message goes to `io.err` and the code becomes the exit status. Standard
// output stays empty on every failure path. Tests hand in string streams instead of the
// process's standard streams and read the status that `runHelper` returns.
#pragma once

#include "common/json_writer.h"
#include "platform/result.h"

#include <exception>
#include <functional>
#include <iosfwd>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

namespace helper {

/// The program's own error; its textual form is exactly `description`.
class HelperError : public std::exception {
public:
    explicit HelperError(std::string message) : description(std::move(message)) {}
    const char* what() const noexcept override { return description.c_str(); }

    std::string description;
};

/// A request to end the run: `message` plus "\n" on standard error, then exit status `code`.
/// Deliberately not a std::exception, so `catch (const std::exception&)` never swallows it.
/// Thrown only on the thread that runs `runHelper`, never inside `runBlocking`.
struct HelperExit {
    std::string message;
    int code = 1;
};

/// The process's standard streams, or string streams in tests.
struct HelperIO {
    std::istream& in;  ///< standard input (read by `classify`)
    std::ostream& out; ///< standard output: the one result only
    std::ostream& err; ///< standard error: the one failure message only
};

/// Ends the run with `message` on standard error and exit status `code`. Never returns.
[[noreturn]] void fail(std::string message, int code = 1);

/// The compact one-line text of `value` ("/" unescaped), or nothing when it cannot be
/// encoded (a non-finite number, a string that is not UTF-8).
std::optional<std::string> encodeJSON(const json::Value& value);

/// Writes `value` as one line of compact JSON plus "\n" to `io.out`. When it cannot be
/// encoded, fails with "failed to encode JSON output" (status 1) and writes nothing.
void printJSON(HelperIO& io, const json::Value& value);

/// The text of the error that `runBlocking` reports when the work never stored a result.
inline constexpr const char* operationDidNotComplete = "operation did not complete";

/// Runs `operation` (returning Result<T>) on a new background thread while the calling
/// thread waits on a semaphore, and returns its result. An exception thrown by the
/// operation becomes the failure (a HelperError or std::exception by its textual form);
/// anything else leaves the failure "operation did not complete". The operation must not
/// need the calling thread.
template <typename Operation>
auto runBlocking(Operation operation) -> std::invoke_result_t<Operation&> {
    using R = std::invoke_result_t<Operation&>;
    std::counting_semaphore<1> done(0);
    R slot = PortError{operationDidNotComplete};
    std::thread worker([&] {
        try {
            slot = operation();
        } catch (const std::exception& error) {
            slot = PortError{error.what()};
        } catch (...) {
        }
        done.release();
    });
    done.acquire();
    worker.join();
    return slot;
}

} // namespace helper
