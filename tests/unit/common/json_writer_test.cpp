#include "common/json_writer.h"

#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

using json::SlashStyle;

TEST(JsonWriter, WritesCompactTextWithShortestDoublesOrFailsTheWholeDocument) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const auto deep = [](json::Value inner) {
        return json::ObjectBuilder().add("ok", 1).add("deep", json::Array{inner}).value();
    };
    const struct {
        json::Value value;
        SlashStyle slashes;
        std::optional<std::string> text;
    } cases[] = {
        {json::ObjectBuilder()
             .add("z", 1)
             .add("a", json::Array{true, false, json::Null{}, json::Object{}})
             .add("missing", std::optional<std::string>())
             .add("m", json::ObjectBuilder().add("k", "v").value())
             .add("n", std::optional<std::size_t>(3))
             .value(),
         SlashStyle::plain, R"({"z":1,"a":[true,false,null,{}],"m":{"k":"v"},"n":3})"},
        {json::Array{std::uint32_t{4294967295u}, std::numeric_limits<std::int64_t>::min(),
                     std::numeric_limits<std::uint64_t>::max()},
         SlashStyle::plain, "[4294967295,-9223372036854775808,9223372036854775807]"},
        {json::Array{0.5, 1440.0, 0.1, -0.0}, SlashStyle::plain, "[0.5,1440,0.1,-0]"},
        {"https://a.example/b", SlashStyle::plain, "\"https://a.example/b\""},
        {json::ObjectBuilder().add("a/b", "c/d").value(), SlashStyle::escaped,
         R"({"a\/b":"c\/d"})"},
        {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80 \xE2\x80\xA8", SlashStyle::plain,
         "\"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80 \xE2\x80\xA8\""},
        {std::string("\b\t\n\v\f\r\x0e\0\x1f\"\\\x7f", 12), SlashStyle::plain,
         R"("\b\t\n\u000b\f\r\u000e\u0000\u001f\"\\)"
         "\x7f\""},
        {nan, SlashStyle::plain, std::nullopt},
        {deep(infinity), SlashStyle::escaped, std::nullopt},
        {deep(-infinity), SlashStyle::plain, std::nullopt},
    };
    for (const auto& [value, slashes, text] : cases)
        EXPECT_EQ(json::write(value, slashes), text) << text.value_or("(fails)");
    for (std::string bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(json::write(deep(bad), SlashStyle::plain));
        EXPECT_FALSE(json::write(json::ObjectBuilder().add(bad, 1).value(), SlashStyle::plain));
    }
    for (double d : {1e-7, 2048.0, 1e300, -2.5e-308, 123456.789, std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min(), 1.0 / 3.0}) {
        const auto text = json::write(d, SlashStyle::plain);
        EXPECT_EQ(nlohmann::json::parse(text.value()).get<double>(), d) << *text;
    }
}

} // namespace
