#include "helper/classify_prompt.h"

#include "common/unicode_text.h"
#include "helper/classify.h"

namespace helper {

const std::string_view classifyInstructions =
    "あなたは業務可視化ツールの分類エンジンです。\n"
    "画面のOCRテキストとアプリ情報から、業務カテゴリ・短い作業ラベル・キーワードを抽出します。\n"
    "個人名・メールアドレス・電話番号などの個人情報を category / taskLabel / keywords "
    "には含めないでください。\n"
    "一方で、画面テキスト中に登場する個人の氏名・自宅住所・取引先の個人名は piiTerms に\n"
    "「テキスト中の表記そのまま」で列挙してください(端末側でマスキングに使うため、"
    "勝手に言い換えないこと)。\n"
    "該当がなければ piiTerms は空にします。";

std::string buildPrompt(const ClassifyInput& input) {
    std::string prompt = "アプリ: ";
    prompt += input.appName;
    prompt += "\nウィンドウタイトル: ";
    prompt += input.windowTitle.value_or("不明");
    prompt += "\nドメイン: ";
    prompt += input.domain.value_or("なし");
    prompt += "\n画面テキスト:\n";
    prompt += text::characterPrefix(input.text, promptTextCharacters);
    return prompt;
}

GenerationSchema workClassificationSchema() {
    using Type = SchemaProperty::Type;

    SchemaProperty category;
    category.name = "category";
    category.description = "業務カテゴリ";
    category.type = Type::string;
    category.anyOf.assign(workCategories.begin(), workCategories.end());

    SchemaProperty taskLabel;
    taskLabel.name = "taskLabel";
    taskLabel.description = "作業内容を表す20文字以内の日本語ラベル。個人名や顧客名は含めない";
    taskLabel.type = Type::string;

    SchemaProperty keywords;
    keywords.name = "keywords";
    keywords.description = "業務内容を表す日本語キーワード(最大5個)。個人情報は含めない";
    keywords.type = Type::stringList;
    keywords.minimumCount = 1;
    keywords.maximumCount = 5;

    SchemaProperty termText;
    termText.name = "text";
    termText.description = "テキスト中の表記そのまま";
    termText.type = Type::string;

    SchemaProperty termKind;
    termKind.name = "kind";
    termKind.description = "種別";
    termKind.type = Type::string;
    termKind.anyOf = {"person", "address", "organization"};

    SchemaProperty piiTerms;
    piiTerms.name = "piiTerms";
    piiTerms.description =
        "画面テキストに残っている個人の氏名・自宅住所・取引先の個人名などの文字列(なければ空)";
    piiTerms.type = Type::objectList;
    piiTerms.minimumCount = 0;
    piiTerms.maximumCount = 10;
    piiTerms.elementTypeName = "WorkPiiTerm";
    piiTerms.elementProperties = {termText, termKind};

    return {"WorkClassification", {category, taskLabel, keywords, piiTerms}};
}

} // namespace helper
