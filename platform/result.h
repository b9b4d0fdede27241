// A value or the text of the error that prevented it. Ports return this instead of throwing.
#pragma once

#include <string>
#include <utility>
#include <variant>

struct PortError {
    std::string description;
};

template <typename T> class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(PortError error) : state_(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<T>(state_); }
    const T& value() const { return std::get<T>(state_); }
    const PortError& error() const { return std::get<PortError>(state_); }

private:
    std::variant<T, PortError> state_;
};
