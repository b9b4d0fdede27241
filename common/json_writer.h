// Compact JSON writing with the rules both programs need: absent values leave their key
// out, non-finite numbers and invalid UTF-8 are failures, and "/" may be written as "\/".
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace json {

class Value;
using Array = std::vector<Value>;
/// Members in insertion order; keys are not de-duplicated.
using Object = std::vector<std::pair<std::string, Value>>;

/// Explicit JSON null. Only written where a format demands a literal null.
struct Null {};

class Value {
public:
    using Storage = std::variant<Null, bool, std::int64_t, double, std::string, Array, Object>;

    Value() : storage_(Null{}) {}
    Value(Null) : storage_(Null{}) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(std::int64_t i) : storage_(i) {}
    /// Any other integer type (sizes, counts); unsigned values beyond int64 saturate.
    template <std::integral T>
    requires(!std::same_as<T, bool>) Value(T i) : storage_(toInt64(i)) {}
    Value(double d) : storage_(d) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(std::string_view s) : storage_(std::string(s)) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Object o) : storage_(std::move(o)) {}

    const Storage& storage() const { return storage_; }

private:
    template <std::integral T> static std::int64_t toInt64(T i) {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            constexpr auto max = static_cast<T>(std::numeric_limits<std::int64_t>::max());
            if (i > max) return std::numeric_limits<std::int64_t>::max();
        }
        return static_cast<std::int64_t>(i);
    }

    Storage storage_;
};

/// Builds an object member by member; `add` with an empty optional leaves the key out.
class ObjectBuilder {
public:
    ObjectBuilder& add(std::string key, Value value) & {
        members_.emplace_back(std::move(key), std::move(value));
        return *this;
    }
    template <typename T> ObjectBuilder& add(std::string key, const std::optional<T>& value) & {
        if (value) members_.emplace_back(std::move(key), Value(*value));
        return *this;
    }
    /// On a temporary the chain stays a temporary, so `ObjectBuilder().add(..).value()` works.
    ObjectBuilder&& add(std::string key, Value value) && {
        return std::move(add(std::move(key), std::move(value)));
    }
    template <typename T> ObjectBuilder&& add(std::string key, const std::optional<T>& value) && {
        return std::move(add(std::move(key), value));
    }
    Object build() && { return std::move(members_); }
    Value value() && { return Value(std::move(members_)); }

private:
    Object members_;
};

/// Converts a list of values into an array.
template <typename T> Array toArray(const std::vector<T>& items) {
    Array out;
    out.reserve(items.size());
    for (const auto& item : items)
        out.emplace_back(item);
    return out;
}

enum class SlashStyle { plain, escaped };

/// Compact text of `value`: no whitespace, members in order, non-ASCII as UTF-8, only the
/// escapes JSON requires (plus "\/" when asked). Doubles use the shortest text that reads
/// back to the same value. Nothing when a double is not finite or a string is not UTF-8.
std::optional<std::string> write(const Value& value, SlashStyle slashes);

} // namespace json
