// `ocr`: the window operand, the captured pixel size, recognised lines turned into the printed
// output, and failures.
#include "helper/capture.h"
#include "helper/ocr.h"
#include "tests/unit/helper/helper_rig.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace helper {
namespace {

TEST(OcrOperand, AcceptsOnlyOptionallySignedDecimalThatFitsIn32Bits) {
    for (const char* rejected :
         {"abc", "12x", "+", "-", " 12", "12 ", "4294967296", "99999999999999999999999", "-5",
          "-00001", "", "+-1", "0x10", "١٢"}) // Arabic-Indic digits are not decimal digits here
        EXPECT_EQ(parseWindowId(rejected), std::nullopt) << '"' << rejected << '"';
    const std::pair<std::string, std::uint32_t> accepted[] = {
        {"+42", 42u}, {"-0", 0u}, {"-000", 0u}, {"007", 7u}, {"+4294967295", 4294967295u}};
    for (const auto& [operand, id] : accepted)
        EXPECT_EQ(parseWindowId(operand), id) << '"' << operand << '"';
}

TEST(RecognizeText, TrimmedLinesInOrderWithoutBlankOnesWhichDoNotCountInTheAverage) {
    const auto printed = [](FakeTextRecognizer& recognizer, FakeNameTagger& tagger) {
        const auto result = recognizeText(FakeImage::make(1600, 1200), recognizer, tagger);
        return encodeJSON(toJSON(result.value())).value_or("unencodable");
    };
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
    EXPECT_EQ(printed(recognizer, tagger),
              R"({"lines":[],"avgConfidence":0,"width":1600,"height":1200,"entities":[]})");
    recognizer.line("  A/B  John Smith\n", 0.5f, {0.25, 0.5, 0.5, 0.125})
        .line("   ", 0.0f)
        .line("\u3000\n\t", 0.0f)
        .line("a", 0.1f, {0, 0.75, 0.5, 0.25}); // the left half of the top quarter
    recognizer.answer.value().push_back({std::nullopt, {0, 0, 1, 1}}); // no candidate
    tagger.tokens["A/B  John Smith"] = {{"John Smith", NameTag::personalName}};
    EXPECT_EQ(printed(recognizer, tagger),
              R"({"lines":[{"text":"A/B  John Smith","confidence":0.5,"box":[0.25,0.5,0.5,0.125]},)"
              R"({"text":"a","confidence":0.10000000149011612,"box":[0,0.75,0.5,0.25]}],)"
              R"("avgConfidence":0.30000000074505806,"width":1600,"height":1200,)"
              R"("entities":[{"text":"John Smith","kind":"person"}]})");
    EXPECT_EQ(tagger.texts, (std::vector<std::string>{"A/B  John Smith", "a"}));
}

TEST(Capture, ScaleTwoWithoutAMainScreenAndUnusablePixelCountsBecomeZero) {
    FakeScreens screens;
    screens.scale = std::nullopt;
    EXPECT_EQ(captureScale(screens), 2.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::tuple<double, double, std::int64_t> cases[] = {
        {800.5, 1.5, 1200}, {0.4, 2, 0},   {-10, 2, 0},
        {nan, 2, 0},        {1e300, 2, 0}, {100, infinity, 0}};
    for (const auto& [points, scale, pixels] : cases)
        EXPECT_EQ(scaledPixels(points, scale), pixels) << points << " × " << scale;
}

TEST(RunOcr, FailuresEndWithTheirStatusAndNothingPrinted) {
    const struct {
        std::function<void(helper_test::AllFakes&)> arrange;
        int status;
        std::string message;
    } cases[] = {
        {[](auto& t) { t.capture.captureError = "screen recording not permitted"; }, 3,
         "capture failed: screen recording not permitted"},
        {[](auto& t) { t.capture.content.displays.clear(); }, 3,
         "capture failed: no capturable window or display found"},
        {[](auto& t) { t.capture.contentError = "declined"; }, 3, "capture failed: declined"},
        {[](auto& t) { t.capture.returnNullImage = true; }, 3,
         "capture failed: the capture gave no image"},
        {[](auto& t) { t.recognizer.answer = PortError{"Tesseract: init failed"}; }, 5,
         "ocr failed: Tesseract: init failed"},
    };
    for (const auto& [arrange, status, message] : cases) {
        helper_test::AllFakes fakes; // one 1440 × 900 display at scale 2
        fakes.recognizer.line("Hello", 0.5f);
        arrange(fakes);
        const auto run = fakes.run({"ocr", "7"});
        EXPECT_EQ(run.status, status) << message;
        EXPECT_EQ(run.err, message + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(fakes.recognizer.images.empty(), status == 3) << message;
        EXPECT_TRUE(fakes.tagger.texts.empty()) << message;
        for (const auto& configuration : fakes.capture.configurations())
            EXPECT_FALSE(configuration.showsCursor);
    }
}

} // namespace
} // namespace helper
