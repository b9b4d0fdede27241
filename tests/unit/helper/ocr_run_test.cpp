// The ocr operand and the subcommand's capture, recognition and failure paths.
#include "helper/ocr.h"
#include "tests/fakes/fake_name_tagger.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_text_recognizer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace helper {
namespace {

TEST(OcrOperand, AcceptsOnlyOptionallySignedDecimalThatFitsIn32Bits) {
    const std::vector<std::pair<std::string, std::optional<std::uint32_t>>> cases = {
        {"abc", std::nullopt},
        {"12x", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {" 12", std::nullopt},
        {"12 ", std::nullopt},
        {"4294967296", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"-5", std::nullopt},
        {"-00001", std::nullopt},
        {"", std::nullopt},
        {"+-1", std::nullopt},
        {"0x10", std::nullopt},
        {"١٢", std::nullopt}, // Arabic-Indic digits are not decimal digits here
        {"+42", 42u},
        {"42", 42u},
        {"-0", 0u},
        {"-000", 0u},
        {"007", 7u},
        {"4294967295", 4294967295u},
        {"+4294967295", 4294967295u},
    };
    for (const auto& [operand, expected] : cases) {
        EXPECT_EQ(parseWindowId(operand), expected) << "operand \"" << operand << "\"";
    }
}

class RunOcr : public ::testing::Test {
protected:
    RunOcr() {
        capture.content.windows.push_back({42, {0, 0, 100, 50}});
        recognizer.line("Hello", 0.5f);
    }

    /// Runs `ocr` with `operand`; the exit request, if the run ended with one.
    std::optional<HelperExit> run(std::optional<std::string> operand) {
        try {
            runOcr(io, operand, capture, screens, recognizer, tagger);
        } catch (const HelperExit& exit) {
            return exit;
        }
        return std::nullopt;
    }

    nlohmann::json printed() const { return nlohmann::json::parse(out.str()); }

    FakeScreenCapture capture; // one 1440 × 900 display
    FakeScreens screens;       // scale 2
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    HelperIO io{in, out, err};
};

TEST_F(RunOcr, ValidOperandCapturesThatWindow) {
    ASSERT_FALSE(run("+42"));
    EXPECT_EQ(printed()["width"], 200);
    EXPECT_EQ(printed()["height"], 100);
}

TEST_F(RunOcr, UnreadableOrMissingOperandCapturesTheDisplay) {
    for (std::optional<std::string> operand : {std::optional<std::string>(), {"42x"}, {""}}) {
        out.str("");
        ASSERT_FALSE(run(operand));
        EXPECT_EQ(printed()["width"], 2880);
        EXPECT_EQ(printed()["height"], 1800);
    }
}

TEST_F(RunOcr, PrintsOneLineWithEveryKey) {
    ASSERT_FALSE(run(std::nullopt));
    const std::string text = out.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    const auto output = printed();
    EXPECT_EQ(output["lines"][0]["text"], "Hello");
    EXPECT_EQ(output["avgConfidence"], 0.5);
    EXPECT_TRUE(output.contains("entities"));
    EXPECT_TRUE(err.str().empty());
}

TEST_F(RunOcr, CaptureErrorEndsWithStatus3) {
    capture.captureError = "screen recording not permitted";
    const auto exit = run(std::nullopt);
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 3);
    EXPECT_EQ(exit->message, "capture failed: screen recording not permitted");
    EXPECT_TRUE(out.str().empty());
    EXPECT_TRUE(recognizer.images.empty());
}

TEST_F(RunOcr, NoWindowAndNoDisplayEndsWithStatus3) {
    capture.content.displays.clear();
    const auto exit = run("7");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 3);
    EXPECT_EQ(exit->message, "capture failed: no capturable window or display found");
}

TEST_F(RunOcr, RecognitionErrorEndsWithStatus5) {
    recognizer.answer = PortError{"Tesseract: init failed"};
    const auto exit = run(std::nullopt);
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 5);
    EXPECT_EQ(exit->message, "ocr failed: Tesseract: init failed");
    EXPECT_TRUE(out.str().empty());
}

TEST_F(RunOcr, NonFiniteConfidenceFailsToEncodeWithNothingPrinted) {
    recognizer.answer.value().front().topCandidate->confidence =
        std::numeric_limits<float>::quiet_NaN();
    const auto exit = run(std::nullopt);
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->code, 1);
    EXPECT_EQ(exit->message, "failed to encode JSON output");
    EXPECT_TRUE(out.str().empty());
}

} // namespace
} // namespace helper
