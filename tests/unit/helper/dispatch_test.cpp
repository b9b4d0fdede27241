// The command line: each subcommand reaches only its own ports, and every failure is one
// message on standard error with its status.
#include "helper/dispatch.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace {

using helper_test::AllFakes;

/// Which ports a run touched, as a short text.
std::string touched(const AllFakes& fakes) {
    std::string parts;
    if (!fakes.capture->requests.empty()) parts += "capture ";
    if (!fakes.recognizer->images.empty()) parts += "recognizer ";
    if (!fakes.icons->requests.empty()) parts += "icons ";
    if (!fakes.model->requests.empty() || fakes.model->systemChecks > 0) parts += "model ";
    if (!fakes.canvas->drawings.empty()) parts += "canvas ";
    if (!fakes.idle->asked.empty()) parts += "idle ";
    return parts;
}

TEST(Dispatch, SubcommandReachesOnlyItsOwnPorts) {
    const struct {
        std::vector<std::string> arguments;
        std::string input;
        std::string ports;
    } cases[] = {
        {{"context"}, "", "idle "},
        {{"icon", "com.apple.Notes"}, "", "icons "},
        {{"running-apps"}, "", ""},
        {{"llm-status"}, "", "model "},
        {{"--self-test"}, "", "recognizer canvas "},
        {{"--self-test-pii"}, "", "recognizer canvas "},
        {{"ocr"}, "", "capture recognizer "},
        {{"ocr", "1234"}, "", "capture recognizer "},
        {{"classify"}, R"({"appName":"Mail","text":"見積書を送付します"})", "model "},
    };
    for (const auto& [arguments, input, ports] : cases) {
        AllFakes fakes;
        fakes.capture->content = ShareableContent{{{1234, {0, 0, 400, 300}}}, {{1, 1000, 800}}};
        fakes.workspace->front = RunningApplication{"Notes", "com.apple.Notes", 7};
        const auto run = fakes.run(arguments, input);
        EXPECT_EQ(run.status, 0) << arguments[0] << ": " << run.err;
        EXPECT_EQ(touched(fakes), ports) << arguments[0];
    }
}

TEST(Dispatch, UnknownOrMissingSubcommandPrintsUsageWithStatusTwo) {
    const std::string usage =
        "usage: quillmap-helper <context|ocr [windowId]|classify|icon <bundleId>|llm-status|"
        "--self-test|--self-test-pii>\n";
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {""},
                                               {"--help"},
                                               {"-h"},
                                               {"help"},
                                               {"Context"},
                                               {"CONTEXT"},
                                               {"context "},
                                               {"Running-Apps"},
                                               {"--Self-Test"},
                                               {"ocr\n"}}) {
        const auto run = AllFakes().run(arguments);
        const std::string shown = arguments.empty() ? "(none)" : arguments.front();
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.err, usage) << shown;
        EXPECT_EQ(run.out, "") << shown;
    }
    AllFakes fakes;
    std::istringstream in;
    std::ostringstream out, err;
    helper::HelperIO io{in, out, err};
    EXPECT_EQ(helper::runHelper({}, fakes.platform, io), 2); // not even a program name
    EXPECT_EQ(err.str(), usage);
}

TEST(Dispatch, IconWithoutANonEmptyOperandIsAUsageErrorAndExtraArgumentsAreIgnored) {
    AllFakes fakes;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"icon"}, {"icon", ""}, {"icon", "", "x"}}) {
        const auto run = fakes.run(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "usage: icon <bundleId>\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(fakes.icons->requests.empty());

    fakes.icons->installed = {"com.apple.Notes"};
    fakes.run({"icon", "com.apple.Notes", "com.apple.Safari"});
    ASSERT_EQ(fakes.icons->requests.size(), 1u);
    EXPECT_EQ(fakes.icons->requests[0].first, "com.apple.Notes");
    fakes.workspace->front = RunningApplication{"Notes", "com.apple.Notes", 42};
    EXPECT_EQ(fakes.run({"context", "--verbose", "extra"}).out,
              "{\"appName\":\"Notes\",\"bundleId\":\"com.apple.Notes\",\"idleSeconds\":0}\n");
}

class ThrowingWorkspace : public FakeWorkspace {
public:
    std::vector<RunningApplication> runningApplications() override {
        throw std::runtime_error("workspace went away");
    }
};

TEST(Dispatch, FailuresAreOneMessageOnStandardErrorAndNothingOnStandardOutput) {
    AllFakes fakes;
    // The bundle id of `icon` is echoed unchanged, so bytes that are not UTF-8 cannot print.
    auto run = fakes.run({"icon", "com.example.\xC0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "failed to encode JSON output\n");
    EXPECT_EQ(run.out, "");

    fakes.platform.workspace = std::make_unique<ThrowingWorkspace>();
    run = fakes.run({"running-apps"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "workspace went away\n");
    EXPECT_EQ(run.out, "");
}

/// Standard output that refuses every byte (a closed descriptor).
class RefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(Dispatch, ResultThatCouldNotBeWrittenIsNotASuccess) {
    AllFakes fakes;
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    std::istringstream in;
    std::ostringstream err;
    helper::HelperIO io{in, out, err};
    EXPECT_EQ(helper::runHelper({"quillmap-helper", "running-apps"}, fakes.platform, io), 1);
    EXPECT_EQ(err.str(), "failed to write output\n");
}

} // namespace
