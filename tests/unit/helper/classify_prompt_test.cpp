// The prompt handed to the language model, with the first 1500 whole characters of screen text.
#include "helper/classify.h"
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
        // The last character is sent whole when it has several scalars.
        {{"Mail", {}, {}, a1499 + "👩‍👩‍👧‍👦b"},
         header + a1499 + "👩‍👩‍👧‍👦"},
    };
    for (const auto& [input, prompt] : cases) {
        FakeLanguageModel model;
        classifyWithModel(input, model);
        ASSERT_EQ(model.requests.size(), 1u);
        EXPECT_EQ(model.requests[0].prompt, prompt) << input.text.substr(0, 20);
    }
}

} // namespace
} // namespace helper
