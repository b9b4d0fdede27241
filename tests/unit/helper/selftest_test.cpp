// `--self-test` and `--self-test-pii`: how they fail.
#include "helper/selftest.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

struct SelfTestRig {
    template <typename SelfTest> helper_test::Run run(SelfTest selfTest) {
        return helper_test::runWith(
            [&](HelperIO& io) { selfTest(io, canvas, recognizer, tagger); });
    }

    FakeFixtureCanvas canvas;
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST(SelfTest, FixtureOrRecognitionFailureEndsWithItsStatusAndNothingPrinted) {
    for (auto selfTest : {runSelfTest, runSelfTestPii}) {
        for (bool canvasFails : {true, false}) {
            SelfTestRig rig;
            rig.canvas.fails = canvasFails;
            rig.recognizer.answer = PortError{"engine missing"};
            const auto printed = rig.run(selfTest);
            ASSERT_TRUE(printed.exit);
            EXPECT_EQ(printed.exit->code, canvasFails ? 4 : 5);
            EXPECT_EQ(printed.exit->message, canvasFails ? "failed to create fixture image"
                                                         : "ocr failed: engine missing");
            EXPECT_EQ(printed.out, "");
            EXPECT_EQ(rig.recognizer.images.empty(), canvasFails);
        }
    }
}

} // namespace
} // namespace helper
