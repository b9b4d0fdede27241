// Turning recognised observations into OcrOutput lines.
#include "helper/ocr.h"
#include "tests/fakes/fake_fixture_canvas.h"
#include "tests/fakes/fake_name_tagger.h"
#include "tests/fakes/fake_text_recognizer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace helper {
namespace {

class RecognizeText : public ::testing::Test {
protected:
    OcrOutput recognize() {
        auto result = recognizeText(image, recognizer, tagger);
        EXPECT_TRUE(result.ok());
        return result.ok() ? result.value() : OcrOutput{};
    }

    Image image = std::make_shared<FakeFixtureCanvas::Bitmap>(1600, 1200);
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST_F(RecognizeText, TrimsAndSkipsBlankLinesWhichDoNotCountInTheAverage) {
    recognizer.line("  Invoice 42\n", 0.5f)
        .line("   ", 0.0f)
        .line("\u3000\n\t", 0.0f)
        .line("Total", 1.0f);
    recognizer.answer.value().push_back({std::nullopt, {0, 0, 1, 1}}); // no candidate
    const auto output = recognize();
    ASSERT_EQ(output.lines.size(), 2u);
    EXPECT_EQ(output.lines[0].text, "Invoice 42");
    EXPECT_EQ(output.lines[1].text, "Total");
    EXPECT_DOUBLE_EQ(output.avgConfidence, 0.75);
}

TEST_F(RecognizeText, KeepsTheRecognisersOrderAndInnerWhitespace) {
    recognizer.line("b  b", 0.25f).line("a", 0.75f);
    const auto output = recognize();
    ASSERT_EQ(output.lines.size(), 2u);
    EXPECT_EQ(output.lines[0].text, "b  b");
    EXPECT_EQ(output.lines[1].text, "a");
}

TEST_F(RecognizeText, ConfidenceIsTheSinglePrecisionValueWidened) {
    recognizer.line("x", 0.1f);
    EXPECT_EQ(recognize().lines[0].confidence, static_cast<double>(0.1f));
}

TEST_F(RecognizeText, BoxOfTheLeftHalfOfTheTopQuarterIsBottomLeftNormalised) {
    recognizer.line("Heading", 0.9f, {0, 0.75, 0.5, 0.25});
    const auto output = recognize();
    const auto printed = nlohmann::json::parse(*encodeJSON(toJSON(output)));
    EXPECT_EQ(printed["lines"][0]["box"], nlohmann::json::parse("[0, 0.75, 0.5, 0.25]"));
}

TEST_F(RecognizeText, NoTextGivesEmptyListsZeroAverageAndTheImageSize) {
    const auto output = recognize();
    EXPECT_TRUE(output.lines.empty());
    EXPECT_TRUE(output.entities.empty());
    EXPECT_EQ(output.avgConfidence, 0);
    EXPECT_EQ(output.width, 1600);
    EXPECT_EQ(output.height, 1200);
    EXPECT_EQ(*encodeJSON(toJSON(output)),
              R"({"lines":[],"avgConfidence":0,"width":1600,"height":1200,"entities":[]})");
}

TEST_F(RecognizeText, EntitiesComeFromTheTrimmedLines) {
    recognizer.line("  John Smith  ", 0.9f);
    tagger.tokens["John Smith"] = {{"John Smith", NameTag::personalName}};
    const auto output = recognize();
    ASSERT_EQ(output.entities.size(), 1u);
    EXPECT_EQ(output.entities[0].kind, "person");
    EXPECT_EQ(tagger.texts, std::vector<std::string>{"John Smith"});
}

TEST_F(RecognizeText, RecogniserErrorIsPassedOn) {
    recognizer.answer = PortError{"no language data"};
    const auto result = recognizeText(image, recognizer, tagger);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().description, "no language data");
    EXPECT_TRUE(tagger.texts.empty());
}

TEST_F(RecognizeText, PrintsKeysInFieldOrder) {
    recognizer.line("A/B", 0.5f, {0.25, 0.5, 0.5, 0.125});
    EXPECT_EQ(*encodeJSON(toJSON(recognize())),
              R"({"lines":[{"text":"A/B","confidence":0.5,"box":[0.25,0.5,0.5,0.125]}],)"
              R"("avgConfidence":0.5,"width":1600,"height":1200,"entities":[]})");
}

} // namespace
} // namespace helper
