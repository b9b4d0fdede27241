// The model's answer trimmed and printed, every refusal shape, and `llm-status`.
#include "helper/classify.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace helper {
namespace {

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

/// `classify` of a valid input: the one printed line, parsed.
nlohmann::json classified(FakeLanguageModel& model) {
    const auto printed = helper_test::runCaught([&](HelperIO& io) { runClassify(io, model); },
                                                R"({"appName":"A","text":"t"})");
    EXPECT_FALSE(printed.exit);
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(printed.out.find('\n'), printed.out.size() - 1);
    return nlohmann::json::parse(printed.out);
}

TEST(ClassifyPostProcess, CategoryMustMatchExactly) {
    for (auto category : workCategories)
        EXPECT_EQ(postProcess({std::string(category), "l", {}, {}}).category, category);
    for (const char* near : {"Mail", "MAIL", "mail ", " mail", "mail\n", "", "email", "その他"})
        EXPECT_EQ(postProcess({near, "l", {}, {}}).category, "other") << '"' << near << '"';
}

TEST(ClassifyPostProcess, LabelKeywordsAndTermsAreCutButOtherwiseKept) {
    WorkClassification a{"chat", repeat("e\u0301", 40), {"a", "", "a", "b", "c", "d"}, {}};
    a.piiTerms = {{"   ", "person"}, {"\n\t", "person"},        {"\u3000", "address"},
                  {"", "person"},    {" 山田 太郎 ", "person"}, {"東京都港区", "住所"}};
    for (int i = 0; i < 12; ++i)
        a.piiTerms.push_back({"名前" + std::to_string(i), "person"});
    const auto kept = postProcess(a);
    EXPECT_EQ(kept.taskLabel, repeat("e\u0301", 40));
    EXPECT_EQ(postProcess({"chat", repeat("あ", 41), {}, {}}).taskLabel, repeat("あ", 40));
    EXPECT_EQ(postProcess({"chat", " 請求書 ", {}, {}}).taskLabel, " 請求書 ");
    EXPECT_EQ(kept.keywords, (std::vector<std::string>{"a", "", "a", "b", "c"}));
    const auto& terms = *kept.piiTerms; // blank ones dropped before ten are kept
    ASSERT_EQ(terms.size(), 10u);
    EXPECT_EQ(terms[0].text, " 山田 太郎 ");
    EXPECT_EQ(terms[1].kind, "住所");
    EXPECT_EQ(terms.back().text, "名前7");
}

TEST(ClassifyPostProcess, PrintsEveryResultAndRepairsIllFormedUtf8FromTheModel) {
    EXPECT_EQ(
        *encodeJSON(toJSON(postProcess({"chat", "連絡", {}, {}}))),
        R"({"available":true,"category":"chat","taskLabel":"連絡","keywords":[],"piiTerms":[]})");
    WorkClassification a{"chat", "ok\xFF", {"k\xC3"}, {{"\xE3\x81", "person\x80"}}};
    EXPECT_EQ(encodeJSON(toJSON(postProcess(a))),
              R"({"available":true,"category":"chat","taskLabel":"ok�",)"
              R"("keywords":["k�"],"piiTerms":[{"text":"�","kind":"person�"}]})");

    FakeLanguageModel model;
    model.answer = WorkClassification{"MAIL",
                                      repeat("x", 41),
                                      {"1", "2", "3", "4", "5", "6"},
                                      {{" 佐藤 ", "person"}, {" ", "person"}}};
    EXPECT_EQ(classified(model),
              nlohmann::json::parse(R"({"available":true,"category":"other","taskLabel":")" +
                                    repeat("x", 40) +
                                    R"(","keywords":["1","2","3","4","5"],)"
                                    R"("piiTerms":[{"text":" 佐藤 ","kind":"person"}]})"));
}

TEST(ClassifyRefusals, NameTheirReasonAndSendNoRequestWhenTheModelIsUnavailable) {
    using State = ModelAvailability::State;
    const struct {
        bool supported;
        ModelAvailability state;
        Result<WorkClassification> answer;
        bool throws;
        std::string reason;
    } cases[] = {
        {false,
         {State::available, {}},
         WorkClassification{},
         false,
         "FoundationModels requires macOS 26 or later"},
        {true,
         {State::deviceNotEligible, {}},
         WorkClassification{},
         false,
         "model unavailable: unavailable(deviceNotEligible)"},
        {true,
         {State::appleIntelligenceNotEnabled, {}},
         WorkClassification{},
         false,
         "model unavailable: unavailable(appleIntelligenceNotEnabled)"},
        {true,
         {State::modelNotReady, {}},
         WorkClassification{},
         false,
         "model unavailable: unavailable(modelNotReady)"},
        {true,
         {State::other, "regionNotSupported"},
         WorkClassification{},
         false,
         "model unavailable: unavailable(regionNotSupported)"},
        {true,
         {State::available, {}},
         PortError{"exceededContextWindowSize"},
         false,
         "classification failed: exceededContextWindowSize"},
        {true,
         {State::available, {}},
         PortError{"bad \xFF"},
         false,
         "classification failed: bad \uFFFD"},
        {true, {State::available, {}}, WorkClassification{}, true, "classification task failed"},
    };
    for (const auto& [supported, state, answer, throws, reason] : cases) {
        FakeLanguageModel model;
        model.supported = supported;
        model.state = state;
        model.answer = answer;
        model.throwsOnRespond = throws;
        const auto output = classified(model);
        EXPECT_EQ(output, (nlohmann::json{{"available", false}, {"reason", reason}}));
        const bool available = supported && state.state == State::available;
        EXPECT_EQ(model.requests.size(), available ? 1u : 0u) << reason;
    }
    EXPECT_EQ(*encodeJSON(toJSON(unavailable("x/y"))), R"({"available":false,"reason":"x/y"})");
}

TEST(LlmStatus, MapsEachAvailabilityToItsReasonAndSendsNoRequest) {
    using State = ModelAvailability::State;
    const struct {
        bool supported;
        ModelAvailability state;
        std::string printed;
    } cases[] = {
        {true, {State::available, {}}, "{\"available\":true}\n"},
        {true,
         {State::deviceNotEligible, {}},
         "{\"available\":false,\"reason\":\"deviceNotEligible\"}\n"},
        {true,
         {State::appleIntelligenceNotEnabled, {}},
         "{\"available\":false,\"reason\":\"appleIntelligenceNotEnabled\"}\n"},
        {true, {State::modelNotReady, {}}, "{\"available\":false,\"reason\":\"modelNotReady\"}\n"},
        {true, {State::other, "somethingNew"}, "{\"available\":false,\"reason\":\"unknown\"}\n"},
        {false, {State::available, {}}, "{\"available\":false,\"reason\":\"unsupportedOS\"}\n"},
    };
    for (const auto& [supported, state, expected] : cases) {
        FakeLanguageModel model;
        model.supported = supported;
        model.state = state;
        const auto printed = helper_test::runCaught([&](HelperIO& io) { runLlmStatus(io, model); });
        EXPECT_EQ(printed.out, expected);
        EXPECT_EQ(printed.err, "");
        EXPECT_TRUE(model.requests.empty());
    }
}

} // namespace
} // namespace helper
