// The prompt handed to the language model, cut to 1500 whole characters of screen text.
#include "helper/classify.h"
#include "helper/classify_prompt.h"
#include "tests/fakes/fake_language_model.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

ClassifyInput input(std::string text, std::optional<std::string> title = std::nullopt,
                    std::optional<std::string> domain = std::nullopt) {
    return {"Mail", std::move(title), std::move(domain), std::move(text)};
}

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(ClassifyPrompt, NamesEveryFieldAndSendsTheFirst1500CharactersWhole) {
    const std::string header =
        "アプリ: Mail\nウィンドウタイトル: 不明\nドメイン: なし\n画面テキスト:\n";
    const std::string a1499(1499, 'a');
    const std::pair<ClassifyInput, std::string> cases[] = {
        {input(""), header},
        {input("本文", "", ""),
         "アプリ: Mail\nウィンドウタイトル: \nドメイン: \n画面テキスト:\n本文"},
        {{std::string(3000, 'a'), "受信トレイ - Mail", "mail.example.com", "x\ny"},
         "アプリ: " + std::string(3000, 'a') +
             "\nウィンドウタイトル: 受信トレイ - Mail\nドメイン: "
             "mail.example.com\n画面テキスト:\nx\ny"},
        {input(repeat("字", 1501)), header + repeat("字", 1500)},
        {input(std::string(1500, 'z')), header + std::string(1500, 'z')},
        // The last character is sent whole when it has several scalars.
        {input(a1499 + "👍🏽b"), header + a1499 + "👍🏽"},
        {input(a1499 + "e\u0301b"), header + a1499 + "e\u0301"},
        {input(a1499 + "👩‍👩‍👧‍👦b"), header + a1499 + "👩‍👩‍👧‍👦"},
        {input(a1499 + "\r\nb"), header + a1499 + "\r\n"},
    };
    for (const auto& [request, prompt] : cases)
        EXPECT_EQ(buildPrompt(request), prompt) << request.text.substr(0, 20);
}

TEST(ClassifyPrompt, RequestCarriesTheInstructionsPromptAndSchema) {
    FakeLanguageModel model;
    const auto request = input("本文", "件名");
    classifyWithModel(request, model);
    ASSERT_EQ(model.requests.size(), 1u);
    EXPECT_EQ(model.requests[0].instructions, classifyInstructions);
    EXPECT_EQ(model.requests[0].prompt, buildPrompt(request));
    const auto& schema = model.requests[0].schema;
    EXPECT_EQ(schema.typeName, "WorkClassification");
    ASSERT_EQ(schema.properties.size(), 4u);
    EXPECT_EQ(schema.properties[0].anyOf.size(), workCategories.size());
    EXPECT_EQ(schema.properties[3].elementProperties.size(), 2u);
}

} // namespace
} // namespace helper
