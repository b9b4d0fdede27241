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
std::string classified(helper_test::AllFakes& fakes) {
    const auto run = fakes.run({"classify"}, R"({"appName":"A","text":"t"})");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    return run.out;
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
    helper_test::AllFakes fakes;
    fakes.model.answer =
        WorkClassification{"chat", "ok\xFF", {"k\xC3"}, {{"\xE3\x81", "person\x80"}}};
    EXPECT_EQ(classified(fakes), R"({"available":true,"category":"chat","taskLabel":"ok�",)"
                                 R"("keywords":["k�"],"piiTerms":[{"text":"�","kind":"person�"}]})"
                                 "\n");
}

TEST(ClassifyRefusals, ClassifyAndLlmStatusNameTheReasonAndSendNoRequestWhenUnavailable) {
    using enum ModelAvailability::State;
    const std::string unavailable = "model unavailable: unavailable(";
    const struct {
        ModelAvailability::State state;
        std::string otherReason;
        std::string error;  ///< the model's failure, if any
        std::string reason; ///< the reason `classify` gives
        std::string status; ///< the reason `llm-status` gives; empty when available
    } cases[] = {
        {deviceNotEligible, "", "", unavailable + "deviceNotEligible)", "deviceNotEligible"},
        {appleIntelligenceNotEnabled, "", "", unavailable + "appleIntelligenceNotEnabled)",
         "appleIntelligenceNotEnabled"},
        {modelNotReady, "", "", unavailable + "modelNotReady)", "modelNotReady"},
        {other, "regionNotSupported", "", unavailable + "regionNotSupported)", "unknown"},
        {available, "", "bad \xFF", "classification failed: bad \uFFFD", ""},
        {available, "", "", "classification task failed", ""},
    };
    for (const auto& [state, otherReason, error, reason, status] : cases) {
        helper_test::AllFakes fakes;
        auto& model = fakes.model;
        model.state = {state, otherReason};
        if (!error.empty()) model.answer = PortError{error};
        model.throwsOnRespond = reason == "classification task failed";
        const bool answered = status.empty();
        EXPECT_EQ(classified(fakes), R"({"available":false,"reason":")" + reason + "\"}\n");
        EXPECT_EQ(model.requests.size(), answered ? 1u : 0u) << reason;
        EXPECT_EQ(fakes.run({"llm-status"}).out,
                  answered ? std::string(R"({"available":true})") + "\n"
                           : R"({"available":false,"reason":")" + status + "\"}\n");
        EXPECT_EQ(model.requests.size(), answered ? 1u : 0u) << reason;
    }
}

} // namespace
} // namespace helper
