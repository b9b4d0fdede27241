// The classify input decoder: never crashes, agrees with a document-building parse where
// that parse is safe, and its strings make a well-formed prompt.
#include "common/unicode_text.h"
#include "helper/classify_input.h"
#include "helper/classify_prompt.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

/// Upper bound of the nesting depth: the number of opening brackets.
std::size_t openings(std::string_view bytes) {
    std::size_t count = 0;
    for (char c : bytes)
        count += (c == '[' || c == '{') ? 1 : 0;
    return count;
}

/// What the document-building parse made of the bytes.
struct Reference {
    bool comparable = true; ///< false when it refused a number beyond the range of a double
    std::optional<helper::ClassifyInput> input;
};

/// The same rule over a whole parsed document; the last of duplicate keys counts.
Reference decodeByDocument(std::string_view bytes) {
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::out_of_range& error) {
        // The decoder takes such numbers (they are JSON); the parser here cannot.
        return {error.id != 406, std::nullopt};
    } catch (const nlohmann::json::exception&) {
        return {};
    }
    if (!document.is_object()) return {};
    auto member = [&](const char* key) -> const nlohmann::json* {
        const auto found = document.find(key);
        return found == document.end() ? nullptr : &*found;
    };
    const auto* appName = member("appName");
    const auto* text = member("text");
    if (!appName || !appName->is_string() || !text || !text->is_string()) return {};
    helper::ClassifyInput input{appName->get<std::string>(), std::nullopt, std::nullopt,
                                text->get<std::string>()};
    for (auto [key, slot] :
         {std::pair{"windowTitle", &input.windowTitle}, std::pair{"domain", &input.domain}}) {
        const auto* value = member(key);
        if (!value || value->is_null()) continue;
        if (!value->is_string()) return {};
        *slot = value->get<std::string>();
    }
    return {true, input};
}

bool same(const helper::ClassifyInput& a, const helper::ClassifyInput& b) {
    return a.appName == b.appName && a.windowTitle == b.windowTitle && a.domain == b.domain &&
           a.text == b.text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto input = helper::decodeClassifyInput(bytes);

    if (input) {
        for (const auto* field : {&input->appName, &input->text}) {
            check(text::isValidUtf8(*field));
        }
        const std::string prompt = helper::buildPrompt(*input);
        check(text::isValidUtf8(prompt));
        const std::string sent = text::characterPrefix(input->text, helper::promptTextCharacters);
        check(prompt.ends_with(sent));
        check(input->text.starts_with(sent));
        check(text::characterCount(sent) <= helper::promptTextCharacters);
    }

    // A raw NUL ends nlohmann's input early, and deep documents are refused on purpose.
    const bool comparable = bytes.find('\0') == std::string_view::npos &&
                            openings(bytes) < helper::maxClassifyInputDepth;
    if (comparable) {
        const auto expected = decodeByDocument(bytes);
        if (expected.comparable) {
            check(input.has_value() == expected.input.has_value());
            if (input) check(same(*input, *expected.input));
        }
    }
    return 0;
}
