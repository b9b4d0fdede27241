// Tesseract, MeCab and the cairo fixture canvas together, on images drawn in memory.
#include "platform/linux/imaging/cairo_fixture_canvas.h"
#include "platform/linux/text/mecab_name_tagger.h"
#include "platform/linux/text/tesseract_recognizer.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// fontconfig (loaded by pango) keeps its configuration until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

FixtureText line(std::string text, double y, double size) {
    return {std::move(text), size, FontWeight::regular, {24, y}, std::nullopt};
}

std::string joined(const std::vector<TextObservation>& lines) {
    std::string text;
    for (const auto& observation : lines)
        if (observation.topCandidate) text += observation.topCandidate->text + "\n";
    return text;
}

// Recognised boxes are fractions of the image with a bottom-left origin, as the canvas draws.
TEST(TesseractRecognizer, ParallelBandsReadEveryLineWhereTheCanvasDrewIt) {
    std::vector<FixtureText> texts;
    for (int i = 0; i < 12; ++i)
        texts.push_back(
            line("Line " + std::to_string(i) + " 東京都の会議室で打ち合わせ", 1100 - 80.0 * i, 36));
    CairoFixtureCanvas canvas;
    const Image image = canvas.draw({{1000, 1200}, {1, 1, 1}, {0, 0, 0}, texts});
    EXPECT_EQ(splitAtBlankRows(greyImageOf(image), 2).size(), 2u); // tall enough for two
    auto parallel = TesseractRecognizer(2).recognizeText(image);
    ASSERT_TRUE(parallel.ok());
    const auto& lines = parallel.value();
    ASSERT_EQ(lines.size(), 12u) << joined(lines);
    double previousTop = 2;
    for (const auto& observation : lines) {
        const geo::Rect& box = observation.boundingBox;
        EXPECT_LT(box.y + box.height, previousTop); // tops fall
        previousTop = box.y + box.height;
        ASSERT_TRUE(observation.topCandidate);
        EXPECT_GT(observation.topCandidate->confidence, 0.5f);
        EXPECT_LE(observation.topCandidate->confidence, 1.0f);
    }
    EXPECT_NEAR(lines[1].boundingBox.x, 24.0 / 1000, 0.01);
    EXPECT_NEAR(lines[1].boundingBox.y, 1020.0 / 1200, 0.02);
}

TEST(TesseractRecognizer, ReadsLightTextOnDarkBackgroundsWithoutPhantomLinesAndBlanksAsNone) {
    CairoFixtureCanvas canvas;
    TesseractRecognizer recognizer(1);
    const Image image = canvas.draw(
        {{700, 260},
         {0.12, 0.12, 0.14},
         {0.85, 0.85, 0.85},
         {line("git commit -m \"Fix the build\"", 180, 22), line("会議室の予約を確認する", 120, 22),
          line("make test && ./run --verbose", 60, 22)}});
    auto result = recognizer.recognizeText(image);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().size(), 3u) << joined(result.value());
    EXPECT_NE(joined(result.value()).find("会議室"), std::string::npos);
    auto blank = recognizer.recognizeText(canvas.draw({{200, 100}, {1, 1, 1}, {0, 0, 0}, {}}));
    ASSERT_TRUE(blank.ok());
    EXPECT_TRUE(blank.value().empty());
    EXPECT_FALSE(recognizer.recognizeText(nullptr).ok());
}

TEST(MecabNameTagger, NamesAsTheDictionaryClassesThem) {
    constexpr auto person = NameTag::personalName;
    constexpr auto organization = NameTag::organizationName;
    constexpr auto place = NameTag::placeName;
    const std::pair<const char*, std::vector<std::pair<std::string, NameTag>>> cases[] = {
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
    for (const auto& [text, names] : cases) {
        std::vector<std::pair<std::string, NameTag>> found;
        for (const NameToken& token : tagger.tagNames(text)) {
            if (token.tag != NameTag::other) found.emplace_back(token.text, token.tag);
            EXPECT_FALSE(token.text == "." || token.text == ":") << text;
        }
        EXPECT_EQ(found, names) << text;
    }
}

} // namespace
