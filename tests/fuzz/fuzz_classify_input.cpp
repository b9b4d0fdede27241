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

/// The same rule over a whole parsed document; the last of duplicate keys counts.
std::optional<helper::ClassifyInput> decodeByDocument(std::string_view bytes) {
    const auto document = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    auto member = [&](const char* key) -> const nlohmann::json* {
        const auto found = document.find(key);
        return found == document.end() ? nullptr : &*found;
    };
    const auto* appName = member("appName");
    const auto* text = member("text");
    if (!appName || !appName->is_string() || !text || !text->is_string()) return std::nullopt;
    helper::ClassifyInput input{appName->get<std::string>(), std::nullopt, std::nullopt,
                                text->get<std::string>()};
    for (auto [key, slot] :
         {std::pair{"windowTitle", &input.windowTitle}, std::pair{"domain", &input.domain}}) {
        const auto* value = member(key);
        if (!value || value->is_null()) continue;
        if (!value->is_string()) return std::nullopt;
        *slot = value->get<std::string>();
    }
    return input;
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
        check(input.has_value() == expected.has_value());
        if (input) check(same(*input, *expected));
    }
    return 0;
}
