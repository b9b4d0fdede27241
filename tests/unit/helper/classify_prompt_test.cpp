// The request handed to the language model: the prompt with the first 1500 whole characters
// of screen text, the instructions and the answer's schema.
#include "helper/classify.h"
#include "helper/classify_prompt.h"
#include "tests/fakes/fake_language_model.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

TEST(ClassifyPrompt, NamesEveryFieldAndSendsTheFirst1500CharactersWhole) {
    const std::string header =
        "アプリ: Mail\nウィンドウタイトル: 不明\nドメイン: なし\n画面テキスト:\n";
    const std::string a1499(1499, 'a');
    std::string ideographs;
    for (int i = 0; i < 1501; ++i)
        ideographs += "字";
    const std::pair<ClassifyInput, std::string> cases[] = {
        {{"Mail", {}, {}, ""}, header},
        {{"Mail", "", "", "本文"},
         "アプリ: Mail\nウィンドウタイトル: \nドメイン: \n画面テキスト:\n本文"},
        {{std::string(3000, 'a'), "受信トレイ - Mail", "mail.example.com", "x\ny"},
         "アプリ: " + std::string(3000, 'a') +
             "\nウィンドウタイトル: 受信トレイ - Mail\nドメイン: "
             "mail.example.com\n画面テキスト:\nx\ny"},
        {{"Mail", {}, {}, ideographs}, header + ideographs.substr(0, 4500)},
        {{"Mail", {}, {}, std::string(1500, 'z')}, header + std::string(1500, 'z')},
        // The last character is sent whole when it has several scalars.
        {{"Mail", {}, {}, a1499 + "👍🏽b"}, header + a1499 + "👍🏽"},
        {{"Mail", {}, {}, a1499 + "👩‍👩‍👧‍👦b"},
         header + a1499 + "👩‍👩‍👧‍👦"},
        {{"Mail", {}, {}, a1499 + "\r\nb"}, header + a1499 + "\r\n"},
    };
    for (const auto& [input, prompt] : cases) {
        FakeLanguageModel model;
        classifyWithModel(input, model);
        ASSERT_EQ(model.requests.size(), 1u);
        EXPECT_EQ(model.requests[0].prompt, prompt) << input.text.substr(0, 20);
        EXPECT_EQ(model.requests[0].instructions, classifyInstructions);
        const auto& schema = model.requests[0].schema;
        EXPECT_EQ(schema.typeName, "WorkClassification");
        ASSERT_EQ(schema.properties.size(), 4u);
        EXPECT_EQ(schema.properties[0].anyOf.size(), workCategories.size());
        EXPECT_EQ(schema.properties[3].elementProperties.size(), 2u);
    }
}

} // namespace
} // namespace helper
