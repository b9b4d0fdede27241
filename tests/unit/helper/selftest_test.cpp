// The two self-test fixtures and what the self-tests print.
#include "helper/selftest.h"
#include "tests/fakes/fake_fixture_canvas.h"
#include "tests/fakes/fake_name_tagger.h"
#include "tests/fakes/fake_text_recognizer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace helper {
namespace {

void expectColour(const FixtureColour& colour, double level) {
    EXPECT_EQ(colour.red, level);
    EXPECT_EQ(colour.green, level);
    EXPECT_EQ(colour.blue, level);
}

TEST(SelfTestFixtures, HeadingIsCentredInItsRectangle) {
    const auto drawing = fixtureDrawing();
    EXPECT_EQ(drawing.canvas.width, 720);
    EXPECT_EQ(drawing.canvas.height, 220);
    expectColour(drawing.background, 1);
    expectColour(drawing.textColour, 0);
    ASSERT_EQ(drawing.texts.size(), 1u);
    const auto& heading = drawing.texts[0];
    EXPECT_EQ(heading.text, "TOLMIK OCR MVP");
    EXPECT_EQ(heading.fontSize, 44);
    EXPECT_EQ(heading.weight, FontWeight::semibold);
    ASSERT_TRUE(heading.centredIn);
    EXPECT_EQ(heading.centredIn->x, 24);
    EXPECT_EQ(heading.centredIn->y, 78);
    EXPECT_EQ(heading.centredIn->width, 672);
    EXPECT_EQ(heading.centredIn->height, 80);
}

TEST(SelfTestFixtures, PersonalDataLinesTopToBottomWithTheirExactSpaces) {
    const auto drawing = piiFixtureDrawing();
    EXPECT_EQ(drawing.canvas.width, 900);
    EXPECT_EQ(drawing.canvas.height, 320);
    expectColour(drawing.background, 1);
    expectColour(drawing.textColour, 0);
    const std::vector<std::pair<std::string, double>> lines = {
        {"\xE6\x8B\x85\xE5\xBD\x93: \xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E\xE6\xA7\x98"
         "  \xE4\xBD\x90\xE8\x97\xA4 \xE8\x8A\xB1\xE5\xAD\x90\xE3\x81\x95\xE3\x82\x93",
         256},
        {"John Smith from Acme Corp", 194},
        {"\xE3\x80\x92"
         "123-4567 \xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE6\xB8\xAF\xE5\x8C\xBA"
         "\xE8\xA6\x8B\xE6\x9C\xAC\xE7\x94\xBA"
         "1-2-3",
         132},
        {"1234 5678 9012  03-1234-5678", 70},
    };
    ASSERT_EQ(drawing.texts.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& run = drawing.texts[i];
        EXPECT_EQ(run.text, lines[i].first) << "line " << i + 1;
        EXPECT_EQ(run.origin.x, 24);
        EXPECT_EQ(run.origin.y, lines[i].second);
        EXPECT_EQ(run.fontSize, 30);
        EXPECT_EQ(run.weight, FontWeight::regular);
        EXPECT_FALSE(run.centredIn);
    }
}

class SelfTest : public ::testing::Test {
protected:
    template <typename Run> std::optional<HelperExit> run(Run selfTest) {
        try {
            selfTest(io, canvas, recognizer, tagger);
        } catch (const HelperExit& exit) {
            return exit;
        }
        return std::nullopt;
    }

    FakeFixtureCanvas canvas;
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    HelperIO io{in, out, err};
};

TEST_F(SelfTest, PrintsOneLinePerRecognisedLine) {
    recognizer.line(" TOLMIK OCR ", 0.9f).line("  ", 0.1f).line("MVP", 0.8f);
    ASSERT_FALSE(run(runSelfTest));
    EXPECT_EQ(out.str(), "TOLMIK OCR\nMVP\n");
    ASSERT_EQ(canvas.drawings.size(), 1u);
    EXPECT_EQ(canvas.drawings[0].texts[0].text, "TOLMIK OCR MVP");
    ASSERT_EQ(recognizer.images.size(), 1u);
    EXPECT_EQ(recognizer.images[0]->width(), 1440);
}

TEST_F(SelfTest, NothingRecognisedPrintsOneEmptyLine) {
    ASSERT_FALSE(run(runSelfTest));
    EXPECT_EQ(out.str(), "\n");
}

TEST_F(SelfTest, FixtureThatCannotBeMadeEndsWithStatus4) {
    canvas.fails = true;
    for (auto selfTest : {runSelfTest, runSelfTestPii}) {
        const auto exit = run(selfTest);
        ASSERT_TRUE(exit);
        EXPECT_EQ(exit->code, 4);
        EXPECT_EQ(exit->message, "failed to create fixture image");
    }
    EXPECT_TRUE(recognizer.images.empty());
    EXPECT_TRUE(out.str().empty());
}

TEST_F(SelfTest, RecognitionErrorEndsWithStatus5) {
    recognizer.answer = PortError{"engine missing"};
    for (auto selfTest : {runSelfTest, runSelfTestPii}) {
        const auto exit = run(selfTest);
        ASSERT_TRUE(exit);
        EXPECT_EQ(exit->code, 5);
        EXPECT_EQ(exit->message, "ocr failed: engine missing");
    }
    EXPECT_TRUE(out.str().empty());
}

TEST_F(SelfTest, PersonalDataTestPrintsTheWholeOcrOutput) {
    recognizer.line("John Smith from Acme Corp", 0.5f, {0.02, 0.6, 0.5, 0.1});
    tagger.tokens["John Smith from Acme Corp"] = {{"John Smith", NameTag::personalName},
                                                  {"from", NameTag::other},
                                                  {"Acme Corp", NameTag::organizationName}};
    ASSERT_FALSE(run(runSelfTestPii));
    const std::string printed = out.str();
    EXPECT_EQ(printed.find('\n'), printed.size() - 1);
    EXPECT_EQ(nlohmann::json::parse(printed), nlohmann::json::parse(R"({
        "lines": [{"text": "John Smith from Acme Corp", "confidence": 0.5,
                   "box": [0.02, 0.6, 0.5, 0.1]}],
        "avgConfidence": 0.5, "width": 1800, "height": 640,
        "entities": [{"text": "John Smith", "kind": "person"},
                     {"text": "Acme Corp", "kind": "organization"}]})"));
    ASSERT_EQ(canvas.drawings.size(), 1u);
    EXPECT_EQ(canvas.drawings[0].texts.size(), 4u);
}

} // namespace
} // namespace helper
