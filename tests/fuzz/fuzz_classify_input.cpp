// The classify input decoder: never crashes, agrees with a document-building parse where
// that parse is safe, and its strings make a well-formed prompt.
#include "common/unicode_text.h"
#include "helper/classify_input.h"
#include "helper/classify_prompt.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

/// The same rule over a whole parsed document; the last of duplicate keys counts. Clears
/// `comparable` when the parser refused a number beyond the range of a double: the decoder
/// takes such numbers (they are JSON), the parser here cannot.
std::optional<helper::ClassifyInput> decodeByDocument(std::string_view bytes, bool& comparable) {
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::out_of_range& error) {
        comparable = error.id != 406;
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    if (!document.is_object()) return std::nullopt;
    const auto member = [&](const char* key) { // null when missing
        const auto found = document.find(key);
        return found == document.end() ? nlohmann::json() : *found;
    };
    helper::ClassifyInput input;
    for (auto [key, slot] :
         {std::pair{"appName", &input.appName}, std::pair{"text", &input.text}}) {
        const auto value = member(key);
        if (!value.is_string()) return std::nullopt;
        *slot = value.get<std::string>();
    }
    for (auto [key, slot] :
         {std::pair{"windowTitle", &input.windowTitle}, std::pair{"domain", &input.domain}}) {
        const auto value = member(key);
        if (value.is_null()) continue;
        if (!value.is_string()) return std::nullopt;
        *slot = value.get<std::string>();
    }
    return input;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto input = helper::decodeClassifyInput(bytes);
    if (input) {
        check(text::isValidUtf8(input->appName) && text::isValidUtf8(input->text));
        const std::string prompt = helper::buildPrompt(*input);
        const std::string sent = text::characterPrefix(input->text, helper::promptTextCharacters);
        check(text::isValidUtf8(prompt) && prompt.ends_with(sent) && input->text.starts_with(sent));
        check(text::characterCount(sent) <= helper::promptTextCharacters);
    }

    // A raw NUL ends nlohmann's input early, and deep documents are refused on purpose.
    const auto openings = std::ranges::count_if(bytes, [](char c) { return c == '[' || c == '{'; });
    if (bytes.find('\0') != std::string_view::npos ||
        static_cast<std::size_t>(openings) >= helper::maxClassifyInputDepth)
        return 0;
    bool comparable = true;
    const auto expected = decodeByDocument(bytes, comparable);
    if (!comparable) return 0;
    check(input.has_value() == expected.has_value());
    if (input)
        check(std::tie(input->appName, input->windowTitle, input->domain, input->text) ==
              std::tie(expected->appName, expected->windowTitle, expected->domain, expected->text));
    return 0;
}
