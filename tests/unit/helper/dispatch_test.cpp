// The command line: each subcommand reaches only its own ports, and every failure is one
// message on standard error with its status.
#include "common/version.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <streambuf>
#include <tuple>

namespace {

using helper_test::AllFakes;

TEST(Dispatch, SubcommandReachesOnlyItsOwnPortsAndIgnoresLaterArguments) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"context", "--verbose"}, "idle "},
        {{"icon", "com.apple.Notes", "com.apple.Safari"}, "icons "},
        {{"running-apps"}, ""},
        {{"llm-status"}, "model "},
        {{"--self-test"}, "recognizer canvas "},
        {{"--self-test-pii"}, "recognizer canvas "},
        {{"ocr"}, "capture recognizer "},
        {{"ocr", "1234"}, "capture recognizer "},
        {{"classify"}, "model "},
    };
    for (const auto& [arguments, ports] : cases) {
        AllFakes fakes;
        fakes.capture.content.windows = {{1234, {0, 0, 400, 300}}};
        fakes.workspace.setFront("Notes", "com.apple.Notes", 7);
        const auto run = fakes.run(arguments, R"({"appName":"Mail","text":"見積書を送付します"})");
        EXPECT_EQ(run.status, 0) << arguments[0] << ": " << run.err;
        std::string touched;
        if (!fakes.capture.configurations().empty()) touched += "capture ";
        if (!fakes.recognizer.images.empty()) touched += "recognizer ";
        for (const auto& request : fakes.icons.requests)
            touched += request.first == "com.apple.Notes" ? "icons " : "wrong icon ";
        if (!fakes.model.requests.empty() || fakes.model.systemChecks > 0) touched += "model ";
        if (!fakes.canvas.drawings.empty()) touched += "canvas ";
        if (!fakes.idle.asked.empty()) touched += "idle ";
        EXPECT_EQ(touched, ports) << arguments[0];
    }
}

class ThrowingWorkspace : public FakeWorkspace {
public:
    std::vector<RunningApplication> runningApplications() override {
        throw std::runtime_error("workspace went away");
    }
};

/// Standard output that refuses every byte (a closed descriptor).
class RefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(Dispatch, SubcommandsAreNamedExactlyAndEachFailureIsOneMessageOnStandardError) {
    using Printed = std::tuple<int, std::string, std::string>; // status, output, error
    const auto printed = [](AllFakes& fakes, const std::vector<std::string>& arguments) {
        const auto run = fakes.run(arguments);
        return Printed(run.status, run.out, run.err);
    };
    const Printed usage(2, "", std::string(helper::usageText) + "\n");
    const std::pair<std::vector<std::string>, Printed> cases[] = {
        {{}, usage},
        {{"--help"}, usage},
        {{"Context"}, usage},
        {{"icon", "", "com.apple.Notes"}, {2, "", "usage: icon <bundleId>\n"}},
        // The bundle id of `icon` is echoed unchanged, so bytes that are not UTF-8 cannot print.
        {{"icon", "com.example.\xC0"}, {1, "", "failed to encode JSON output\n"}},
    };
    for (const auto& [arguments, expected] : cases) {
        AllFakes fakes;
        EXPECT_EQ(printed(fakes, arguments), expected);
        EXPECT_EQ(fakes.icons.requests.empty(), std::get<0>(expected) == 2);
    }

    AllFakes fakes;
    EXPECT_EQ(printed(fakes, {"--version"}),
              Printed(0, "quillmap-helper " + std::string(quillVersion) + "\n", ""));
    fakes.icons.installed = {"com.apple.Notes"};
    fakes.graphics.emptyPng = true; // zero bytes are no PNG file: the bundle id alone
    EXPECT_EQ(printed(fakes, {"icon", "com.apple.Notes"}),
              Printed(0, "{\"bundleId\":\"com.apple.Notes\"}\n", ""));

    RefusingBuffer refusing;
    std::ostream out(&refusing);
    std::istringstream in;
    std::ostringstream err;
    helper::HelperIO io{in, out, err};
    EXPECT_EQ(helper::runHelper({"quillmap-helper", "running-apps"}, fakes.platform, io), 1);
    EXPECT_EQ(err.str(), "failed to write output\n");

    fakes.platform.workspace = std::make_unique<ThrowingWorkspace>();
    EXPECT_EQ(printed(fakes, {"running-apps"}), Printed(1, "", "workspace went away\n"));
}

} // namespace
