#include "helper/output.h"

#include <ostream>

namespace helper {

void fail(std::string message, int code) {
    throw HelperExit{std::move(message), code};
}

std::optional<std::string> encodeJSON(const json::Value& value) {
    return json::write(value, json::SlashStyle::plain);
}

void printJSON(HelperIO& io, const json::Value& value) {
    auto text = encodeJSON(value);
    if (!text) fail("failed to encode JSON output", 1);
    text->push_back('\n');
    io.out.write(text->data(), static_cast<std::streamsize>(text->size()));
    io.out.flush();
}

} // namespace helper
