#include "helper/classify_input.h"

#include <array>
#include <exception>
#include <nlohmann/json.hpp>

namespace helper {

namespace {

/// What the document said about one of the four known keys; the last occurrence counts.
enum class Seen { missing, string, null, other };

struct Member {
    Seen seen = Seen::missing;
    std::string value;
};

/// Decodes the input without building a document: only the four known members of the
/// top-level object are kept, every other value is checked for syntax and dropped. The
/// parser keeps its own nesting on the heap; the depth limit bounds it all the same.
class ClassifyInputReader final : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return scalar(Seen::null, {}); }
    bool boolean(bool) override { return scalar(Seen::other, {}); }
    bool number_integer(number_integer_t) override { return scalar(Seen::other, {}); }
    bool number_unsigned(number_unsigned_t) override { return scalar(Seen::other, {}); }
    bool number_float(number_float_t, const string_t&) override { return scalar(Seen::other, {}); }
    bool string(string_t& value) override { return scalar(Seen::string, &value); }
    bool binary(binary_t&) override { return false; }

    bool start_object(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(false); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        if (depth_ == 1) current_ = memberFor(name);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

    std::optional<ClassifyInput> result() const {
        const auto& [appName, windowTitle, domain, text] = members_;
        if (appName.seen != Seen::string || text.seen != Seen::string) return std::nullopt;
        if (!optionalString(windowTitle) || !optionalString(domain)) return std::nullopt;
        ClassifyInput input;
        input.appName = appName.value;
        if (windowTitle.seen == Seen::string) input.windowTitle = windowTitle.value;
        if (domain.seen == Seen::string) input.domain = domain.value;
        input.text = text.value;
        return input;
    }

private:
    static bool optionalString(const Member& member) { return member.seen != Seen::other; }

    Member* memberFor(const std::string& name) {
        static constexpr std::array<std::string_view, 4> names = {"appName", "windowTitle",
                                                                  "domain", "text"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (name == names[i]) return &members_[i];
        }
        return nullptr;
    }

    /// A value at the top level must be the object; inside it, the current member records it.
    bool scalar(Seen seen, std::string* value) {
        if (depth_ == 0) return false;
        if (depth_ == 1 && current_) {
            current_->seen = seen;
            current_->value = value ? std::move(*value) : std::string();
        }
        return true;
    }

    bool open(bool isObject) {
        if (depth_ == 0 && !isObject) return false;
        if (depth_ == 1 && current_) current_->seen = Seen::other;
        if (++depth_ > maxClassifyInputDepth) return false;
        return true;
    }

    bool close() {
        --depth_;
        return true;
    }

    std::size_t depth_ = 0;
    Member* current_ = nullptr;
    std::array<Member, 4> members_{};
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// True when `token` is one JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view token) {
    std::size_t at = 0;
    auto digits = [&] {
        const std::size_t start = at;
        while (at < token.size() && isDigit(token[at]))
            ++at;
        return at - start;
    };
    if (at < token.size() && token[at] == '-') ++at;
    if (at < token.size() && token[at] == '0') {
        ++at;
    } else if (digits() == 0) {
        return false;
    }
    if (at < token.size() && token[at] == '.') {
        ++at;
        if (digits() == 0) return false;
    }
    if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
        ++at;
        if (at < token.size() && (token[at] == '+' || token[at] == '-')) ++at;
        if (digits() == 0) return false;
    }
    return at == token.size();
}

/// Replaces every number outside strings by "0" padded with spaces to its length. No value
/// of the document is a number that matters, and the parser refuses numbers beyond the
/// range of a double, which are JSON all the same. Ill-formed numbers are left for the
/// parser to refuse.
void neutralizeNumbers(std::string& document) {
    auto inNumber = [](char c) {
        return isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    };
    bool inString = false;
    for (std::size_t at = 0; at < document.size(); ++at) {
        const char c = document[at];
        if (inString) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '-' || isDigit(c)) {
            std::size_t end = at;
            while (end < document.size() && inNumber(document[end]))
                ++end;
            if (isJsonNumber(std::string_view(document).substr(at, end - at))) {
                document.replace(at, end - at, end - at, ' ');
                document[at] = '0';
            }
            at = end - 1;
        }
    }
}

} // namespace

std::optional<std::string> readBoundedInput(std::istream& input, std::size_t limit) {
    std::string bytes;
    std::array<char, 64 * 1024> chunk{};
    while (input) {
        input.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(input.gcount());
        if (got > limit - bytes.size()) return std::nullopt;
        bytes.append(chunk.data(), got);
    }
    if (input.bad()) return std::nullopt;
    return bytes;
}

std::optional<ClassifyInput> decodeClassifyInput(std::string_view bytes) {
    // The parser takes a NUL byte for the end of the input and would ignore what follows;
    // JSON allows none anywhere (not even inside strings, where it must be escaped).
    if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
    try {
        std::string document(bytes);
        neutralizeNumbers(document);
        ClassifyInputReader reader;
        if (!nlohmann::json::sax_parse(document.begin(), document.end(), &reader)) {
            return std::nullopt;
        }
        return reader.result();
    } catch (const std::exception&) {
        // Out of memory inside the parser: the document cannot be taken.
        return std::nullopt;
    }
}

} // namespace helper
