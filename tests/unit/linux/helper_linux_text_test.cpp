// Tesseract, MeCab and the cairo fixture canvas together, on images drawn in memory.
#include "platform/linux/cairo_fixture_canvas.h"
#include "platform/linux/mecab_name_tagger.h"
#include "platform/linux/tesseract_recognizer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// fontconfig (loaded by pango) keeps its configuration until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

FixtureText line(std::string text, double y, double size = 30) {
    FixtureText run;
    run.text = std::move(text);
    run.fontSize = size;
    run.origin = {24, y};
    return run;
}

std::string joined(const std::vector<TextObservation>& lines) {
    std::string text;
    for (const auto& observation : lines)
        if (observation.topCandidate) text += observation.topCandidate->text + "\n";
    return text;
}

std::vector<NameToken> names(const std::vector<NameToken>& tokens) {
    std::vector<NameToken> result;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(result),
                 [](const NameToken& token) { return token.tag != NameTag::other; });
    return result;
}

// The fixture canvas draws with a bottom-left origin: recognised boxes land where it drew.
TEST(TesseractRecognizer, ReadsJapaneseAndEnglishLinesTopToBottom) {
    CairoFixtureCanvas canvas;
    const Image image = canvas.draw(
        {{900, 320},
         {1, 1, 1},
         {0, 0, 0},
         {line("担当: 山田太郎様  佐藤 花子さん", 256), line("John Smith from Acme Corp", 194),
          line("〒123-4567 東京都港区見本町1-2-3", 132),
          line("1234 5678 9012  03-1234-5678", 70)}});
    TesseractRecognizer recognizer;
    auto result = recognizer.recognizeText(image);
    ASSERT_TRUE(result.ok()) << result.error().description;
    const auto& lines = result.value();
    ASSERT_EQ(lines.size(), 4u) << joined(lines);
    const std::string text = joined(lines);
    for (const char* expected : {"山田太郎", "佐藤", "Acme", "東京都", "03-1234-5678"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    double previousTop = 2;
    for (const auto& observation : lines) {
        const geo::Rect& box = observation.boundingBox;
        EXPECT_GE(box.x, 0);
        EXPECT_LE(box.x + box.width, 1);
        EXPECT_GE(box.y, 0);
        EXPECT_LE(box.y + box.height, 1);
        EXPECT_LT(box.y + box.height, previousTop); // bottom-left origin: tops fall
        previousTop = box.y + box.height;
        ASSERT_TRUE(observation.topCandidate);
        EXPECT_GT(observation.topCandidate->confidence, 0.5f);
        EXPECT_LE(observation.topCandidate->confidence, 1.0f);
    }
    // The second line starts at x = 24 of 900 and spans rows 126…94 from the top.
    EXPECT_NEAR(lines[1].boundingBox.x, 24.0 / 900, 0.01);
    EXPECT_NEAR(lines[1].boundingBox.y, 194.0 / 320, 0.04);
}

TEST(TesseractRecognizer, ReadsLightTextOnDarkBackgroundsWithoutPhantomLines) {
    CairoFixtureCanvas canvas;
    TesseractRecognizer recognizer(1);
    for (const auto& [background, text] :
         {std::pair<FixtureColour, FixtureColour>{{0.12, 0.12, 0.14}, {0.85, 0.85, 0.85}},
          {{0.1, 0.2, 0.35}, {1, 0.8, 0.3}}}) {
        const Image image = canvas.draw({{700, 260},
                                         background,
                                         text,
                                         {line("git commit -m \"Fix the build\"", 180, 22),
                                          line("会議室の予約を確認する", 120, 22),
                                          line("make test && ./run --verbose", 60, 22)}});
        auto result = recognizer.recognizeText(image);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.value().size(), 3u) << joined(result.value());
        EXPECT_NE(joined(result.value()).find("会議室"), std::string::npos);
    }
}

TEST(TesseractRecognizer, BlankImageHasNoLinesAndForeignImagesFail) {
    CairoFixtureCanvas canvas;
    TesseractRecognizer recognizer;
    auto blank = recognizer.recognizeText(canvas.draw({{200, 100}, {1, 1, 1}, {0, 0, 0}, {}}));
    ASSERT_TRUE(blank.ok());
    EXPECT_TRUE(blank.value().empty());
    EXPECT_FALSE(recognizer.recognizeText(nullptr).ok());
}

TEST(TesseractRecognizer, ParallelBandsReadTheSameAsOneEngine) {
    // Tall enough to be split across two engines.
    std::vector<FixtureText> texts;
    for (int i = 0; i < 12; ++i)
        texts.push_back(
            line("Line " + std::to_string(i) + " 東京都の会議室で打ち合わせ", 1100 - 80.0 * i, 36));
    CairoFixtureCanvas canvas;
    const Image image = canvas.draw({{1000, 1200}, {1, 1, 1}, {0, 0, 0}, texts});
    const GreyImage grey = greyImageOf(image);
    EXPECT_EQ(splitAtBlankRows(grey, 2).size(), 2u);

    TesseractRecognizer parallel(2);
    TesseractRecognizer single(1);
    auto a = parallel.recognizeText(image);
    auto b = single.recognizeText(image);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(joined(a.value()), joined(b.value()));
    EXPECT_EQ(a.value().size(), 12u) << joined(a.value());
}

struct NamesCase {
    const char* text;
    std::vector<std::pair<std::string, NameTag>> names;
};

TEST(MecabNameTagger, NamesAsTheDictionaryClassesThem) {
    constexpr auto person = NameTag::personalName;
    constexpr auto organization = NameTag::organizationName;
    constexpr auto place = NameTag::placeName;
    const NamesCase cases[] = {
        {"担当: 山田太郎様  佐藤 花子さん", {{"山田太郎", person}, {"佐藤 花子", person}}},
        {"〒123-4567 東京都港区見本町1-2-3", {{"東京都港区", place}}},
        {"トヨタ自動車と日本銀行", {{"トヨタ自動車", organization}, {"日本銀行", organization}}},
        {"株式会社山田商事の田中太郎", {{"株式会社山田商事", organization}, {"田中太郎", person}}},
        {"株式会社 山田商事", {{"株式会社 山田商事", organization}}},
        {"（株）山田商事", {{"（株）山田商事", organization}}},
        {"山田開発株式会社 御中", {{"山田開発株式会社", organization}}},
        {"ソニー株式会社の鈴木さん", {{"ソニー株式会社", organization}, {"鈴木", person}}},
        {"株式会社", {}},
        {"John Smith from Acme Corp.", {}},
    };
    MecabNameTagger tagger;
    for (const NamesCase& row : cases) {
        std::vector<std::pair<std::string, NameTag>> found;
        const auto tokens = tagger.tagNames(row.text);
        for (const NameToken& token : names(tokens))
            found.emplace_back(token.text, token.tag);
        EXPECT_EQ(found, row.names) << row.text;
        for (const NameToken& token : tokens)
            EXPECT_FALSE(token.text == "." || token.text == ":") << row.text;
    }
}

TEST(NameTokens, JoinsAcrossOneWhitespaceOnlyAndWithinOneClass) {
    // "A B  C|D": A, B, C persons; D an organization; E a region suffix after D (ignored).
    const std::string text = "A B  CDE";
    const std::vector<Morpheme> morphemes{
        {0, 1, "名詞,固有名詞,人名,姓", false}, {2, 3, "名詞,固有名詞,人名,名", false},
        {5, 6, "名詞,固有名詞,人名,名", false}, {6, 7, "名詞,固有名詞,組織,*", false},
        {7, 8, "名詞,接尾,地域,*", false},
    };
    const auto tokens = nameTokens(text, morphemes);
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].text, "A B");
    EXPECT_EQ(tokens[1].text, "C");
    EXPECT_EQ(tokens[2].text, "D");
    EXPECT_EQ(tokens[2].tag, NameTag::organizationName);
    EXPECT_EQ(tokens[3].text, "E");
    EXPECT_EQ(tokens[3].tag, NameTag::other);
}

TEST(NameTokens, UnknownAlphabetProperNounIsOtherButUnknownKanjiNameIsKept) {
    const std::string text = "Acme東";
    const auto tokens = nameTokens(
        text, {{0, 4, "名詞,固有名詞,組織,*", true}, {4, 7, "名詞,固有名詞,地域,一般", true}});
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].tag, NameTag::other);
    EXPECT_EQ(tokens[1].tag, NameTag::placeName);
}

} // namespace
