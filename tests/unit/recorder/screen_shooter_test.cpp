// Screenshots: permission gate, worker thread, frame header, reduction and every failure.
#include "recorder/screen_shooter.h"
#include "tests/fakes/fake_graphics.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/stream_pipes.h"

#include <gtest/gtest.h>
#include <new>
#include <thread>

namespace {

constexpr const char* failureMessage = "スクリーンショット取得に失敗しました\n";

class ScreenShooterTest : public ::testing::Test {
protected:
    ScreenShooter::Shot shoot(std::int64_t seq = 7, std::string kind = "after") {
        return shooter.capture(seq, "ep-9", std::nullopt, false, {0.25, 0.5}, kind);
    }
    std::vector<std::string> sentTypes() { return pipes.frames().typesWithoutPermits(); }

    StreamPipes pipes;
    FakeScreenCapture capture;
    FakeGraphics graphics;
    ScreenShooter shooter{capture, graphics};
};

TEST_F(ScreenShooterTest, FrameCarriesItsEightHeaderMembersAndTheJpeg) {
    pipes.grant(1);
    const auto shot = shoot();
    EXPECT_EQ(shot.full, "frames/7-full.jpg");
    EXPECT_FALSE(shot.crop);
    EXPECT_FALSE(shot.text);
    EXPECT_FALSE(shot.targetText);

    const auto frames = pipes.frames().ofType("frame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].header, nlohmann::json({{"type", "frame"},
                                                {"sessionId", "ep-9"},
                                                {"seq", 7},
                                                {"kind", "after"},
                                                {"width", 1440},
                                                {"height", 900},
                                                {"cursor", {0.25, 0.5}},
                                                {"targetBounds", nullptr}}));
    EXPECT_EQ(frames[0].payload, "JPEG 1440x900");
    EXPECT_EQ(graphics.jpegQualities(), std::vector<double>{0.85});
}

TEST_F(ScreenShooterTest, KindDefaultsToBefore) {
    pipes.grant(1);
    shooter.capture(3, "ep-9", std::vector<double>{1, 2, 3, 4}, true, {0, 0});
    EXPECT_EQ(pipes.frames().ofType("frame").at(0).header["kind"], "before");
}

TEST_F(ScreenShooterTest, FirstDisplayIsCapturedAtItsSizeWithTheCursorOnAWorkerThread) {
    capture.content.displays = {{5, 3024, 1964}, {6, 800, 600}};
    pipes.grant(1);
    shoot();
    ASSERT_EQ(capture.configurations().size(), 1u);
    EXPECT_EQ(capture.displaysCaptured(), std::vector<std::uint32_t>{5});
    EXPECT_EQ(capture.configurations()[0].width, 3024);
    EXPECT_EQ(capture.configurations()[0].height, 1964);
    EXPECT_TRUE(capture.configurations()[0].showsCursor);
    for (const auto& thread : capture.callingThreads())
        EXPECT_NE(thread, std::this_thread::get_id());
    const auto header = pipes.frames().ofType("frame").at(0).header;
    EXPECT_EQ(header["width"], 2048);
    EXPECT_EQ(header["height"], 1330);
}

TEST_F(ScreenShooterTest, RefusedCaptureSendsNothing) {
    pipes.answer(std::string(1, '\0'));
    EXPECT_FALSE(shoot().full);
    EXPECT_TRUE(sentTypes().empty());
    EXPECT_TRUE(capture.callingThreads().empty());
    EXPECT_EQ(pipes.errorText(), "");
}

TEST_F(ScreenShooterTest, ShareableContentFailureSendsLossAndTheMessage) {
    capture.contentError = "The user declined TCCs";
    pipes.grant(1);
    EXPECT_FALSE(shoot().full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.frames().ofType("loss").at(0).header,
              nlohmann::json({{"type", "loss"}, {"sessionId", "ep-9"}}));
    EXPECT_EQ(pipes.errorText(), failureMessage);
}

TEST_F(ScreenShooterTest, NoDisplaySendsLossWithoutAMessage) {
    capture.content.displays.clear();
    pipes.grant(1);
    EXPECT_FALSE(shoot().full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.errorText(), "");
}

TEST_F(ScreenShooterTest, CaptureFailureSendsLossAndTheMessageOnce) {
    capture.captureError = "stream failed";
    pipes.grant(1);
    EXPECT_FALSE(shoot().full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.errorText(), failureMessage);
}

TEST_F(ScreenShooterTest, CaptureGivingNoImageCountsAsAFailure) {
    capture.returnNullImage = true;
    pipes.grant(1);
    EXPECT_FALSE(shoot().full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.errorText(), failureMessage);
}

TEST_F(ScreenShooterTest, ExceptionInTheWorkerIsALossNotACrash) {
    capture.duringCapture = [] { throw std::bad_alloc(); };
    pipes.grant(1);
    ScreenShooter::Shot shot;
    EXPECT_NO_THROW(shot = shoot());
    EXPECT_FALSE(shot.full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.errorText(), failureMessage);
}

TEST_F(ScreenShooterTest, EncoderFailureSendsLossWithoutAMessage) {
    graphics.failJpeg = true;
    pipes.grant(1);
    EXPECT_FALSE(shoot().full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
    EXPECT_EQ(pipes.errorText(), "");
}

TEST_F(ScreenShooterTest, FailedReductionSendsTheUnreducedImage) {
    capture.content.displays = {{1, 2880, 1800}};
    graphics.failScale = true;
    pipes.grant(1);
    EXPECT_EQ(shoot().full, "frames/7-full.jpg");
    const auto frame = pipes.frames().ofType("frame").at(0);
    EXPECT_EQ(frame.header["width"], 2880);
    EXPECT_EQ(frame.payload, "JPEG 2880x1800");
}

TEST_F(ScreenShooterTest, UnserialisableHeaderIsReplacedByALossNotice) {
    pipes.grant(1);
    const auto shot = shooter.capture(1, "ep-9", std::nullopt, false, {std::nan(""), 0}, "after");
    EXPECT_FALSE(shot.full);
    EXPECT_EQ(sentTypes(), std::vector<std::string>{"loss"});
}

struct DownscaleCase {
    std::int64_t width, height, expectedWidth, expectedHeight;
};

class Downscale : public ::testing::TestWithParam<DownscaleCase> {};

TEST_P(Downscale, LongEdgeBecomesAtMost2048WithTruncatedSizes) {
    FakeScreenCapture capture;
    FakeGraphics graphics;
    ScreenShooter shooter{capture, graphics};
    const auto [w, h, ew, eh] = GetParam();
    const Image input = FakeImage::make(w, h);
    const Image output = shooter.downscale(input, 2048);
    EXPECT_EQ(output->width(), ew);
    EXPECT_EQ(output->height(), eh);
    if (w == ew && h == eh) {
        EXPECT_EQ(output, input); // unchanged: the same image, no drawing
        EXPECT_TRUE(graphics.scaleCalls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Downscale,
                         ::testing::Values(DownscaleCase{2880, 1800, 2048, 1280},
                                           DownscaleCase{3024, 1964, 2048, 1330},
                                           DownscaleCase{1800, 2880, 1280, 2048},
                                           DownscaleCase{1920, 1080, 1920, 1080},
                                           DownscaleCase{2048, 1536, 2048, 1536}));

TEST(DownscaleFailure, ZeroSizedReductionKeepsTheInput) {
    FakeScreenCapture capture;
    FakeGraphics graphics;
    ScreenShooter shooter{capture, graphics};
    const Image input = FakeImage::make(10000, 3);
    EXPECT_EQ(shooter.downscale(input, 2048), input);
}

} // namespace
