#include "common/json_writer.h"

#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

std::string written(const json::Value& value, json::SlashStyle slashes = json::SlashStyle::plain) {
    auto text = json::write(value, slashes);
    EXPECT_TRUE(text.has_value());
    return text.value_or("");
}

nlohmann::json parsed(const json::Value& value,
                      json::SlashStyle slashes = json::SlashStyle::plain) {
    return nlohmann::json::parse(written(value, slashes));
}

TEST(JsonWriter, WritesCompactObjectsWithMembersInOrder) {
    json::Value value = json::ObjectBuilder()
                            .add("z", 1)
                            .add("a", json::Array{true, false, json::Null{}})
                            .add("m", json::ObjectBuilder().add("k", "v").value())
                            .add("n", std::int64_t{-9007199254740993})
                            .value();
    EXPECT_EQ(written(value),
              R"({"z":1,"a":[true,false,null],"m":{"k":"v"},"n":-9007199254740993})");
    EXPECT_EQ(written(json::Array{}), "[]");
    EXPECT_EQ(written(json::Object{}), "{}");
}

TEST(JsonWriter, WritesEveryIntegerTypeAsDecimal) {
    const json::Array values{std::size_t{42}, std::uint32_t{4294967295u}, -7LL,
                             std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::uint64_t>::max()};
    EXPECT_EQ(written(values), "[42,4294967295,-7,-9223372036854775808,9223372036854775807]");
    std::optional<std::size_t> count = 3;
    EXPECT_EQ(written(json::ObjectBuilder().add("n", count).value()), R"({"n":3})");
}

TEST(JsonWriter, AbsentOptionalLeavesKeyOut) {
    std::optional<std::string> missing;
    std::optional<int> present = 7;
    json::Value value =
        json::ObjectBuilder().add("a", missing).add("b", present).add("c", "x").value();
    EXPECT_EQ(written(value), R"({"b":7,"c":"x"})");
}

TEST(JsonWriter, SlashesEscapedOnlyWhenAsked) {
    const std::string url = "https://example.com/a/b?q=1";
    EXPECT_EQ(written(url, json::SlashStyle::plain), "\"https://example.com/a/b?q=1\"");
    EXPECT_EQ(written(url, json::SlashStyle::escaped), R"("https:\/\/example.com\/a\/b?q=1")");
    EXPECT_EQ(parsed(url, json::SlashStyle::escaped).get<std::string>(), url);
    // Keys follow the same rule.
    EXPECT_EQ(written(json::ObjectBuilder().add("a/b", 1).value(), json::SlashStyle::escaped),
              R"({"a\/b":1})");
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControls) {
    std::string all;
    for (int c = 0; c < 0x20; ++c)
        all += static_cast<char>(c);
    all += "\"\\\x7f";
    const std::string text = written(all);
    EXPECT_NE(text.find(R"(\b\t\n\u000b\f\r\u000e)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(\u0000\u0001)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(\u001f\"\\)"), std::string::npos) << text;
    EXPECT_EQ(nlohmann::json::parse(text).get<std::string>(), all);
}

TEST(JsonWriter, NonAsciiWrittenAsUtf8) {
    const std::string s = "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \xE2\x80\xA8";
    EXPECT_EQ(written(s), "\"" + s + "\"");
    EXPECT_EQ(parsed(s).get<std::string>(), s);
}

TEST(JsonWriter, DoublesUseShortestRoundTripText) {
    EXPECT_EQ(written(0.5), "0.5");
    EXPECT_EQ(written(1440.0), "1440");
    EXPECT_EQ(written(0.1), "0.1");
    EXPECT_EQ(written(-0.0), "-0");
    for (double d :
         {0.1, 1e-7, 2048.0, -0.0, 1e300, -2.5e-308, 123456.789, std::numeric_limits<double>::max(),
          std::numeric_limits<double>::denorm_min(), 1.0 / 3.0}) {
        const nlohmann::json back = parsed(json::Array{d});
        EXPECT_EQ(back[0].get<double>(), d) << written(d);
    }
}

TEST(JsonWriter, NonFiniteNumberFailsWholeDocument) {
    for (double d :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(json::write(d, json::SlashStyle::plain));
        json::Value nested =
            json::ObjectBuilder()
                .add("ok", 1)
                .add("deep", json::Array{json::ObjectBuilder().add("x", d).value()})
                .value();
        EXPECT_FALSE(json::write(nested, json::SlashStyle::escaped));
    }
}

TEST(JsonWriter, InvalidUtf8FailsWholeDocument) {
    for (std::string bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(json::write(json::Array{1, bad}, json::SlashStyle::plain));
        EXPECT_FALSE(
            json::write(json::ObjectBuilder().add(bad, 1).value(), json::SlashStyle::plain));
    }
}

} // namespace
