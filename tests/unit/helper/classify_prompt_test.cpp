// The instructions, prompt and answer schema handed to the language model.
#include "common/unicode_text.h"
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

TEST(ClassifyInstructions, AreTheFixedSixLinesOf666Bytes) {
    EXPECT_EQ(classifyInstructions.size(), 666u);
    EXPECT_TRUE(text::isValidUtf8(classifyInstructions));
    EXPECT_EQ(std::count(classifyInstructions.begin(), classifyInstructions.end(), '\n'), 5);
    EXPECT_TRUE(classifyInstructions.starts_with("あなたは業務可視化ツールの分類エンジンです。\n"));
    EXPECT_NE(
        classifyInstructions.find("を category / taskLabel / keywords には含めないでください。\n"),
        std::string_view::npos);
    EXPECT_NE(classifyInstructions.find("(端末側でマスキングに使うため、勝手に言い換えないこと)"),
              std::string_view::npos);
    EXPECT_TRUE(classifyInstructions.ends_with("該当がなければ piiTerms は空にします。"));
}

TEST(ClassifyPrompt, AbsentTitleAndDomainAreNamedAndNothingFollowsAnEmptyText) {
    EXPECT_EQ(buildPrompt(input("")),
              "アプリ: Mail\nウィンドウタイトル: 不明\nドメイン: なし\n画面テキスト:\n");
}

TEST(ClassifyPrompt, EmptyTitleStaysEmpty) {
    EXPECT_EQ(buildPrompt(input("本文", "", "")),
              "アプリ: Mail\nウィンドウタイトル: \nドメイン: \n画面テキスト:\n本文");
}

TEST(ClassifyPrompt, AllFieldsGoInWhole) {
    ClassifyInput all{std::string(3000, 'a'), "受信トレイ - Mail", "mail.example.com", "x\ny"};
    EXPECT_EQ(buildPrompt(all), "アプリ: " + std::string(3000, 'a') +
                                    "\nウィンドウタイトル: 受信トレイ - Mail"
                                    "\nドメイン: mail.example.com\n画面テキスト:\nx\ny");
}

TEST(ClassifyPrompt, SendsTheFirst1500Characters) {
    const std::string header = buildPrompt(input(""));
    const std::string japanese = [] {
        std::string s;
        for (int i = 0; i < 1501; ++i)
            s += "字";
        return s;
    }();
    const std::string prompt = buildPrompt(input(japanese));
    EXPECT_EQ(text::characterCount(prompt.substr(header.size())), 1500u);
    EXPECT_EQ(prompt.size() - header.size(), 1500u * 3);
    EXPECT_EQ(buildPrompt(input(std::string(1500, 'z'))), header + std::string(1500, 'z'));
}

TEST(ClassifyPrompt, TheLastCharacterIsSentWholeWhenItHasSeveralScalars) {
    const std::string header = buildPrompt(input(""));
    const std::string thumbs = "👍🏽"; // two scalars, one character
    const std::string accented = "e\u0301";
    const std::string family = "👩‍👩‍👧‍👦";
    for (const auto& cluster : {thumbs, accented, family}) {
        const std::string text = std::string(1499, 'a') + cluster + "b";
        EXPECT_EQ(buildPrompt(input(text)), header + std::string(1499, 'a') + cluster);
    }
    EXPECT_EQ(buildPrompt(input(std::string(1499, 'a') + "\r\nb")),
              header + std::string(1499, 'a') + "\r\n");
}

TEST(WorkClassificationSchema, PropertiesDescriptionsAndConstraints) {
    using Type = SchemaProperty::Type;
    const auto schema = workClassificationSchema();
    EXPECT_EQ(schema.typeName, "WorkClassification");
    ASSERT_EQ(schema.properties.size(), 4u);

    const auto& category = schema.properties[0];
    EXPECT_EQ(category.name, "category");
    EXPECT_EQ(category.type, Type::string);
    EXPECT_EQ(category.description, "業務カテゴリ");
    EXPECT_EQ(category.anyOf, (std::vector<std::string>{"mail", "meeting", "chat", "document",
                                                        "spreadsheet", "development", "research",
                                                        "business_system", "ai_usage", "other"}));

    const auto& label = schema.properties[1];
    EXPECT_EQ(label.name, "taskLabel");
    EXPECT_EQ(label.type, Type::string);
    EXPECT_EQ(label.description,
              "作業内容を表す20文字以内の日本語ラベル。個人名や顧客名は含めない");
    EXPECT_TRUE(label.anyOf.empty());
    EXPECT_FALSE(label.minimumCount);

    const auto& keywords = schema.properties[2];
    EXPECT_EQ(keywords.name, "keywords");
    EXPECT_EQ(keywords.type, Type::stringList);
    EXPECT_EQ(keywords.description, "業務内容を表す日本語キーワード(最大5個)。個人情報は含めない");
    EXPECT_EQ(keywords.minimumCount, 1u);
    EXPECT_EQ(keywords.maximumCount, 5u);

    const auto& terms = schema.properties[3];
    EXPECT_EQ(terms.name, "piiTerms");
    EXPECT_EQ(terms.type, Type::objectList);
    EXPECT_EQ(terms.description, "画面テキストに残っている個人の氏名・自宅住所・取引先の個人名"
                                 "などの文字列(なければ空)");
    EXPECT_EQ(terms.minimumCount, 0u);
    EXPECT_EQ(terms.maximumCount, 10u);
    EXPECT_EQ(terms.elementTypeName, "WorkPiiTerm");
    ASSERT_EQ(terms.elementProperties.size(), 2u);
    EXPECT_EQ(terms.elementProperties[0].name, "text");
    EXPECT_EQ(terms.elementProperties[0].description, "テキスト中の表記そのまま");
    EXPECT_TRUE(terms.elementProperties[0].anyOf.empty());
    EXPECT_EQ(terms.elementProperties[1].name, "kind");
    EXPECT_EQ(terms.elementProperties[1].description, "種別");
    EXPECT_EQ(terms.elementProperties[1].anyOf,
              (std::vector<std::string>{"person", "address", "organization"}));
}

TEST(ClassifyRequest, CarriesTheInstructionsPromptAndSchema) {
    FakeLanguageModel model;
    const auto request = input("本文", "件名");
    classifyWithModel(request, model);
    ASSERT_EQ(model.requests.size(), 1u);
    EXPECT_EQ(model.requests[0].instructions, classifyInstructions);
    EXPECT_EQ(model.requests[0].prompt, buildPrompt(request));
    EXPECT_EQ(model.requests[0].schema.properties.size(), 4u);
}

} // namespace
} // namespace helper
