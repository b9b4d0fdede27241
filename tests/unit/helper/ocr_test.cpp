// `ocr`: the window operand, recognised lines turned into the printed output, and failures.
#include "helper/ocr.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace helper {
namespace {

TEST(OcrOperand, AcceptsOnlyOptionallySignedDecimalThatFitsIn32Bits) {
    for (const char* rejected :
         {"abc", "12x", "+", "-", " 12", "12 ", "4294967296", "99999999999999999999999", "-5",
          "-00001", "", "+-1", "0x10", "١٢"}) // Arabic-Indic digits are not decimal digits here
        EXPECT_EQ(parseWindowId(rejected), std::nullopt) << '"' << rejected << '"';
    const std::pair<std::string, std::uint32_t> accepted[] = {{"+42", 42u},
                                                              {"42", 42u},
                                                              {"-0", 0u},
                                                              {"-000", 0u},
                                                              {"007", 7u},
                                                              {"4294967295", 4294967295u},
                                                              {"+4294967295", 4294967295u}};
    for (const auto& [operand, id] : accepted)
        EXPECT_EQ(parseWindowId(operand), id) << '"' << operand << '"';
}

class RecognizeText : public ::testing::Test {
protected:
    std::string printed() {
        auto result = recognizeText(image, recognizer, tagger);
        EXPECT_TRUE(result.ok());
        return result.ok() ? encodeJSON(toJSON(result.value())).value_or("unencodable") : "";
    }

    Image image = FakeImage::make(1600, 1200);
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST_F(RecognizeText, NoTextGivesEmptyListsZeroAverageAndTheImageSize) {
    EXPECT_EQ(printed(),
              R"({"lines":[],"avgConfidence":0,"width":1600,"height":1200,"entities":[]})");
}

TEST_F(RecognizeText, TrimmedLinesInOrderWithoutBlankOnesWhichDoNotCountInTheAverage) {
    recognizer.line("  A/B  c\n", 0.5f, {0.25, 0.5, 0.5, 0.125})
        .line("   ", 0.0f)
        .line("\u3000\n\t", 0.0f)
        .line("a", 1.0f, {0, 0.75, 0.5, 0.25}); // the left half of the top quarter
    recognizer.answer.value().push_back({std::nullopt, {0, 0, 1, 1}}); // no candidate
    EXPECT_EQ(printed(),
              R"({"lines":[{"text":"A/B  c","confidence":0.5,"box":[0.25,0.5,0.5,0.125]},)"
              R"({"text":"a","confidence":1,"box":[0,0.75,0.5,0.25]}],)"
              R"("avgConfidence":0.75,"width":1600,"height":1200,"entities":[]})");

    recognizer.answer = std::vector<TextObservation>{};
    recognizer.line("x", 0.1f); // single precision, widened
    const auto output = recognizeText(image, recognizer, tagger);
    EXPECT_EQ(output.value().lines[0].confidence, static_cast<double>(0.1f));
}

TEST_F(RecognizeText, EntitiesComeFromTheTrimmedLines) {
    recognizer.line("  John Smith  ", 0.9f);
    tagger.tokens["John Smith"] = {{"John Smith", NameTag::personalName}};
    const auto output = recognizeText(image, recognizer, tagger);
    ASSERT_EQ(output.value().entities.size(), 1u);
    EXPECT_EQ(output.value().entities[0].kind, "person");
    EXPECT_EQ(tagger.texts, std::vector<std::string>{"John Smith"});
}

struct OcrRig {
    OcrRig() {
        capture.content.windows.push_back({42, {0, 0, 100, 50}});
        recognizer.line("Hello", 0.5f);
    }

    helper_test::Caught run(std::optional<std::string> operand) {
        return helper_test::runCaught(
            [&](HelperIO& io) { runOcr(io, operand, capture, screens, recognizer, tagger); });
    }

    FakeScreenCapture capture; // one 1440 × 900 display
    FakeScreens screens;       // scale 2
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST(RunOcr, ValidOperandCapturesThatWindowAnyOtherTheDisplay) {
    const std::pair<std::optional<std::string>, std::pair<int, int>> cases[] = {
        {"+42", {200, 100}},
        {std::nullopt, {2880, 1800}},
        {"42x", {2880, 1800}},
        {"", {2880, 1800}}};
    for (const auto& [operand, size] : cases) {
        const auto printed = OcrRig().run(operand);
        ASSERT_FALSE(printed.exit);
        EXPECT_EQ(printed.err, "");
        EXPECT_EQ(printed.out.find('\n'), printed.out.size() - 1);
        EXPECT_EQ(nlohmann::json::parse(printed.out),
                  nlohmann::json::parse(R"({"lines":[{"text":"Hello","confidence":0.5,)"
                                        R"("box":[0,0,1,1]}],"avgConfidence":0.5,"width":)" +
                                        std::to_string(size.first) + ",\"height\":" +
                                        std::to_string(size.second) + R"(,"entities":[]})"));
    }
}

TEST(RunOcr, FailuresEndWithTheirStatusAndNothingPrinted) {
    const struct {
        std::function<void(OcrRig&)> arrange;
        std::optional<std::string> operand;
        int code;
        std::string message;
    } cases[] = {
        {[](OcrRig& t) { t.capture.captureError = "screen recording not permitted"; }, std::nullopt,
         3, "capture failed: screen recording not permitted"},
        {[](OcrRig& t) { t.capture.content.displays.clear(); }, "7", 3,
         "capture failed: no capturable window or display found"},
        {[](OcrRig& t) { t.recognizer.answer = PortError{"Tesseract: init failed"}; }, std::nullopt,
         5, "ocr failed: Tesseract: init failed"},
        {[](OcrRig& t) {
             t.recognizer.answer.value().front().topCandidate->confidence =
                 std::numeric_limits<float>::quiet_NaN();
         },
         std::nullopt, 1, "failed to encode JSON output"},
    };
    for (const auto& [arrange, operand, code, message] : cases) {
        OcrRig fresh;
        arrange(fresh);
        const auto printed = fresh.run(operand);
        ASSERT_TRUE(printed.exit) << message;
        EXPECT_EQ(printed.exit->code, code);
        EXPECT_EQ(printed.exit->message, message);
        EXPECT_EQ(printed.out, "");
        if (code == 3) {
            EXPECT_TRUE(fresh.recognizer.images.empty()) << message;
        }
        if (code == 5) {
            EXPECT_TRUE(fresh.tagger.texts.empty()) << message;
        }
    }
}

} // namespace
} // namespace helper
