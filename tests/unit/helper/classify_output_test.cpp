// The model's answer trimmed and printed, every refusal and its reason, and `llm-status`.
#include "helper/classify.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

/// What `classify` of a valid input printed.
std::string classified(FakeLanguageModel& model) {
    const auto printed = helper_test::runWith([&](HelperIO& io) { runClassify(io, model); },
                                              R"({"appName":"A","text":"t"})");
    EXPECT_FALSE(printed.exit);
    EXPECT_EQ(printed.err, "");
    return printed.out;
}

TEST(ClassifyPostProcess, CategoryMustMatchExactly) {
    for (auto category : workCategories)
        EXPECT_EQ(postProcess({std::string(category), "l", {}, {}}).category, category);
    for (const char* near : {"MAIL", "mail ", "", "email", "その他"})
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

TEST(ClassifyOutput, PrintsTheAnswerAndRepairsIllFormedUtf8FromTheModel) {
    FakeLanguageModel model;
    model.answer = WorkClassification{"chat", "ok\xFF", {"k\xC3"}, {{"\xE3\x81", "person\x80"}}};
    EXPECT_EQ(classified(model), R"({"available":true,"category":"chat","taskLabel":"ok�",)"
                                 R"("keywords":["k�"],"piiTerms":[{"text":"�","kind":"person�"}]})"
                                 "\n");
    model.answer = WorkClassification{"MAIL", "連絡", {}, {}};
    EXPECT_EQ(classified(model), R"({"available":true,"category":"other","taskLabel":"連絡",)"
                                 R"("keywords":[],"piiTerms":[]})"
                                 "\n");
}

TEST(ClassifyRefusals, ClassifyAndLlmStatusNameTheReasonAndSendNoRequestWhenUnavailable) {
    using State = ModelAvailability::State;
    const struct {
        bool supported;
        ModelAvailability state;
        std::optional<std::string> error; ///< the model's failure
        std::string reason;
        std::string status; ///< the reason `llm-status` gives; empty when available
    } cases[] = {
        {false,
         {State::available, {}},
         {},
         "FoundationModels requires macOS 26 or later",
         "unsupportedOS"},
        {true,
         {State::deviceNotEligible, {}},
         {},
         "model unavailable: unavailable(deviceNotEligible)",
         "deviceNotEligible"},
        {true,
         {State::appleIntelligenceNotEnabled, {}},
         {},
         "model unavailable: unavailable(appleIntelligenceNotEnabled)",
         "appleIntelligenceNotEnabled"},
        {true,
         {State::modelNotReady, {}},
         {},
         "model unavailable: unavailable(modelNotReady)",
         "modelNotReady"},
        {true,
         {State::other, "regionNotSupported"},
         {},
         "model unavailable: unavailable(regionNotSupported)",
         "unknown"},
        {true,
         {State::available, {}},
         "exceededContextWindowSize",
         "classification failed: exceededContextWindowSize",
         ""},
        {true, {State::available, {}}, "bad \xFF", "classification failed: bad \uFFFD", ""},
        {true, {State::available, {}}, {}, "classification task failed", ""},
    };
    for (const auto& [supported, state, error, reason, status] : cases) {
        FakeLanguageModel model;
        model.supported = supported;
        model.state = state;
        if (error) model.answer = PortError{*error};
        model.throwsOnRespond = reason == "classification task failed";
        const bool available = status.empty();
        EXPECT_EQ(classified(model), R"({"available":false,"reason":")" + reason + "\"}\n");
        EXPECT_EQ(model.requests.size(), available ? 1u : 0u) << reason;
        const auto printed = helper_test::runWith([&](HelperIO& io) { runLlmStatus(io, model); });
        EXPECT_EQ(printed.out, available ? std::string(R"({"available":true})") + "\n"
                                         : R"({"available":false,"reason":")" + status + "\"}\n");
        EXPECT_EQ(model.requests.size(), available ? 1u : 0u) << reason;
    }
}

} // namespace
} // namespace helper
