#include "common/json_writer.h"

#include "common/unicode_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <type_traits>

namespace json {

namespace {

class Writer {
public:
    explicit Writer(SlashStyle slashes) : slashes_(slashes) {}

    /// Appends `value`; false when it holds a non-finite number or a string that is not UTF-8.
    bool write(const Value& value) {
        return std::visit([this](const auto& v) { return writeAlternative(v); }, value.storage());
    }

    std::string take() && { return std::move(out_); }

private:
    bool writeAlternative(Null) {
        out_ += "null";
        return true;
    }
    bool writeAlternative(bool b) {
        out_ += b ? "true" : "false";
        return true;
    }
    bool writeAlternative(std::int64_t i) {
        std::array<char, 24> buffer{};
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), i);
        out_.append(buffer.data(), result.ptr);
        return true;
    }
    bool writeAlternative(double d) {
        if (!std::isfinite(d)) return false;
        // Shortest text that reads back to the same double.
        std::array<char, 32> buffer{};
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), d);
        if (result.ec != std::errc{}) return false;
        out_.append(buffer.data(), result.ptr);
        return true;
    }
    bool writeAlternative(const std::string& s) { return writeString(s); }
    bool writeAlternative(const Array& array) {
        out_ += '[';
        bool first = true;
        for (const Value& element : array) {
            if (!first) out_ += ',';
            first = false;
            if (!write(element)) return false;
        }
        out_ += ']';
        return true;
    }
    bool writeAlternative(const Object& object) {
        out_ += '{';
        bool first = true;
        for (const auto& [key, member] : object) {
            if (!first) out_ += ',';
            first = false;
            if (!writeString(key)) return false;
            out_ += ':';
            if (!write(member)) return false;
        }
        out_ += '}';
        return true;
    }

    bool writeString(std::string_view s) {
        if (!text::isValidUtf8(s)) return false;
        out_ += '"';
        for (char c : s) {
            switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\b':
                out_ += "\\b";
                break;
            case '\f':
                out_ += "\\f";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            case '/':
                out_ += slashes_ == SlashStyle::escaped ? "\\/" : "/";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr char hex[] = "0123456789abcdef";
                    const auto byte = static_cast<unsigned char>(c);
                    out_ += "\\u00";
                    out_ += hex[byte >> 4];
                    out_ += hex[byte & 0x0F];
                } else {
                    out_ += c;
                }
            }
        }
        out_ += '"';
        return true;
    }

    SlashStyle slashes_;
    std::string out_;
};

} // namespace

std::optional<std::string> write(const Value& value, SlashStyle slashes) {
    Writer writer(slashes);
    if (!writer.write(value)) return std::nullopt;
    return std::move(writer).take();
}

} // namespace json
