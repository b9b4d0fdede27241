// Validation and trimming of the model's answer, and every refusal shape.
#include "helper/classify.h"
#include "tests/fakes/fake_language_model.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace helper {
namespace {

WorkClassification answer() {
    return {"document", "資料作成", {"資料"}, {}};
}

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(ClassifyPostProcess, CategoryMustMatchExactly) {
    for (auto category : workCategories) {
        auto a = answer();
        a.category = category;
        EXPECT_EQ(postProcess(a).category, std::string(category));
    }
    for (const char* near : {"Mail", "MAIL", "mail ", " mail", "mail\n", "", "email", "その他"}) {
        auto a = answer();
        a.category = near;
        EXPECT_EQ(postProcess(a).category, "other") << '"' << near << '"';
    }
}

TEST(ClassifyPostProcess, BlankPiiTermsAreDroppedBeforeKeepingTen) {
    auto a = answer();
    a.piiTerms = {{"   ", "person"}, {"\n\t", "person"}, {"\u3000", "address"}, {"", "person"}};
    for (int i = 0; i < 12; ++i)
        a.piiTerms.push_back({"名前" + std::to_string(i), "person"});
    const auto terms = *postProcess(a).piiTerms;
    ASSERT_EQ(terms.size(), 10u);
    EXPECT_EQ(terms.front().text, "名前0");
    EXPECT_EQ(terms.back().text, "名前9");
}

TEST(ClassifyPostProcess, KeptTermsAreCopiedUnchanged) {
    auto a = answer();
    a.piiTerms = {{" 山田 太郎 ", "person"}, {"東京都港区", "住所"}};
    const auto terms = *postProcess(a).piiTerms;
    ASSERT_EQ(terms.size(), 2u);
    EXPECT_EQ(terms[0].text, " 山田 太郎 ");
    EXPECT_EQ(terms[1].kind, "住所");
}

TEST(ClassifyPostProcess, LabelIsCutTo40Characters) {
    auto a = answer();
    a.taskLabel = repeat("あ", 41);
    EXPECT_EQ(postProcess(a).taskLabel, repeat("あ", 40));
    a.taskLabel = repeat("e\u0301", 40);
    EXPECT_EQ(postProcess(a).taskLabel, repeat("e\u0301", 40));
    a.taskLabel = " 請求書 ";
    EXPECT_EQ(postProcess(a).taskLabel, " 請求書 ");
}

TEST(ClassifyPostProcess, KeywordsAreCutToFiveAndOtherwiseKept) {
    auto a = answer();
    a.keywords = {"a", "", "a", "b", "c", "d"};
    EXPECT_EQ(postProcess(a).keywords, (std::vector<std::string>{"a", "", "a", "b", "c"}));
}

TEST(ClassifyPostProcess, IllFormedUtf8FromTheModelIsReplacedSoTheAnswerPrints) {
    WorkClassification a{"chat", "ok\xFF", {"k\xC3"}, {{"\xE3\x81", "person\x80"}}};
    const auto printed = encodeJSON(toJSON(postProcess(a)));
    ASSERT_TRUE(printed);
    EXPECT_EQ(*printed, R"({"available":true,"category":"chat","taskLabel":"ok�",)"
                        R"("keywords":["k�"],"piiTerms":[{"text":"�","kind":"person�"}]})");
}

TEST(ClassifyPostProcess, ResultShapeHasEmptyListsAndNoReason) {
    WorkClassification a{"chat", "連絡", {}, {}};
    EXPECT_EQ(
        *encodeJSON(toJSON(postProcess(a))),
        R"({"available":true,"category":"chat","taskLabel":"連絡","keywords":[],"piiTerms":[]})");
}

class ClassifyRefusals : public ::testing::Test {
protected:
    /// Runs `classify` on a valid input and returns the printed object.
    nlohmann::json run() {
        std::istringstream in(R"({"appName":"A","text":"t"})");
        std::ostringstream out;
        std::ostringstream err;
        HelperIO io{in, out, err};
        runClassify(io, model);
        EXPECT_TRUE(err.str().empty());
        const std::string printed = out.str();
        EXPECT_EQ(printed.find('\n'), printed.size() - 1);
        return nlohmann::json::parse(printed);
    }

    void expectRefusal(const nlohmann::json& output, const std::string& reason) {
        ASSERT_TRUE(output.is_object());
        EXPECT_EQ(output.size(), 2u) << output.dump();
        EXPECT_EQ(output["available"], false);
        EXPECT_EQ(output["reason"], reason);
    }

    FakeLanguageModel model;
};

TEST_F(ClassifyRefusals, OldSystem) {
    model.supported = false;
    expectRefusal(run(), "FoundationModels requires macOS 26 or later");
    EXPECT_TRUE(model.requests.empty());
}

TEST_F(ClassifyRefusals, ModelUnavailableNamesTheReason) {
    using State = ModelAvailability::State;
    const std::vector<std::pair<ModelAvailability, std::string>> cases = {
        {{State::deviceNotEligible, {}}, "deviceNotEligible"},
        {{State::appleIntelligenceNotEnabled, {}}, "appleIntelligenceNotEnabled"},
        {{State::modelNotReady, {}}, "modelNotReady"},
        {{State::other, "regionNotSupported"}, "regionNotSupported"},
    };
    for (const auto& [state, name] : cases) {
        model.state = state;
        const auto output = run();
        expectRefusal(output, output["reason"].get<std::string>());
        const std::string reason = output["reason"];
        EXPECT_TRUE(reason.starts_with("model unavailable: ")) << reason;
        EXPECT_NE(reason.find(name), std::string::npos) << reason;
    }
    EXPECT_TRUE(model.requests.empty());
}

TEST_F(ClassifyRefusals, RequestErrorIsNamed) {
    model.answer = PortError{"exceededContextWindowSize"};
    expectRefusal(run(), "classification failed: exceededContextWindowSize");
}

TEST_F(ClassifyRefusals, IllFormedErrorTextStillPrints) {
    model.answer = PortError{"bad \xFF"};
    expectRefusal(run(), "classification failed: bad \uFFFD");
}

TEST_F(ClassifyRefusals, TaskThatEndsWithoutAnOutput) {
    model.throwsOnRespond = true;
    expectRefusal(run(), "classification task failed");
}

TEST_F(ClassifyRefusals, UnavailableBuildsTheRefusal) {
    EXPECT_EQ(*encodeJSON(toJSON(unavailable("x/y"))), R"({"available":false,"reason":"x/y"})");
}

TEST_F(ClassifyRefusals, SuccessIsPrintedWithAllFourResults) {
    model.answer = WorkClassification{"MAIL",
                                      repeat("x", 41),
                                      {"1", "2", "3", "4", "5", "6"},
                                      {{" 佐藤 ", "person"}, {" ", "person"}}};
    const auto output = run();
    EXPECT_EQ(
        output,
        nlohmann::json::parse(
            R"({"available":true,"category":"other","taskLabel":")" + repeat("x", 40) +
            R"(","keywords":["1","2","3","4","5"],"piiTerms":[{"text":" 佐藤 ","kind":"person"}]})"));
}

} // namespace
} // namespace helper
