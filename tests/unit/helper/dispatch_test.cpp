#include "helper/dispatch.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_icon_source.h"
#include "tests/fakes/fake_idle_time.h"
#include "tests/fakes/fake_script_runner.h"
#include "tests/fakes/fake_window_list.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace {

using helper_test::runHelperWith;

const std::string usageLine =
    "usage: quillmap-helper <context|ocr [windowId]|classify|icon <bundleId>|llm-status|"
    "--self-test|--self-test-pii>\n";

class Dispatch : public ::testing::Test {
protected:
    Dispatch() {
        auto workspace = std::make_unique<FakeWorkspace>();
        workspace_ = workspace.get();
        platform_.workspace = std::move(workspace);
        auto icons = std::make_unique<FakeIconSource>();
        icons_ = icons.get();
        platform_.iconSource = std::move(icons);
        platform_.graphics = std::make_unique<helper_test::StubGraphics>();
        platform_.windowList = std::make_unique<FakeWindowList>();
        platform_.idleTime = std::make_unique<FakeIdleTime>();
        platform_.scriptRunner = std::make_unique<FakeScriptRunner>();
        platform_.accessibility = std::make_unique<FakeAccessibility>();
    }

    HelperPlatform platform_;
    FakeWorkspace* workspace_ = nullptr;
    FakeIconSource* icons_ = nullptr;
};

TEST_F(Dispatch, UnknownOrMissingSubcommandPrintsUsageWithStatusTwo) {
    const std::vector<std::vector<std::string>> commandLines = {
        {},          {""},         {"--help"},       {"-h"},          {"help"}, {"Context"},
        {"CONTEXT"}, {"context "}, {"Running-Apps"}, {"--Self-Test"}, {"ocr\n"}};
    for (const auto& arguments : commandLines) {
        const auto run = runHelperWith(arguments, platform_);
        const std::string shown = arguments.empty() ? "(none)" : arguments.front();
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.err, usageLine) << shown;
        EXPECT_EQ(run.out, "") << shown;
    }
}

TEST_F(Dispatch, EmptyArgumentListPrintsUsage) {
    std::istringstream in;
    std::ostringstream out, err;
    helper::HelperIO io{in, out, err};
    EXPECT_EQ(helper::runHelper({}, platform_, io), 2);
    EXPECT_EQ(err.str(), usageLine);
}

TEST_F(Dispatch, RunningAppsRunsThoughTheUsageDoesNotNameIt) {
    workspace_->running = {{"Finder", "com.apple.finder", 10, ActivationPolicy::regular}};
    const auto run = runHelperWith({"running-apps"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "[{\"name\":\"Finder\",\"bundleId\":\"com.apple.finder\"}]\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(Dispatch, ArgumentsAfterTheTableAreIgnored) {
    workspace_->front = RunningApplication{"Notes", "com.apple.Notes", 42};
    const auto run = runHelperWith({"context", "--verbose", "extra"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "{\"appName\":\"Notes\",\"bundleId\":\"com.apple.Notes\",\"idleSeconds\":0}\n");

    icons_->installed = {"com.apple.Notes"};
    const auto icon = runHelperWith({"icon", "com.apple.Notes", "com.apple.Safari"}, platform_);
    ASSERT_EQ(icons_->requests.size(), 1u);
    EXPECT_EQ(icons_->requests[0].first, "com.apple.Notes");
}

TEST_F(Dispatch, IconWithoutANonEmptyOperandIsAUsageError) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"icon"}, {"icon", ""}, {"icon", "", "x"}}) {
        const auto run = runHelperWith(arguments, platform_);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "usage: icon <bundleId>\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(icons_->requests.empty());
}

TEST_F(Dispatch, FailureMessageGoesToStandardErrorOnly) {
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "no frontmost application\n");
    EXPECT_EQ(run.out, "");
}

TEST_F(Dispatch, UnencodableResultLeavesStandardOutputEmpty) {
    workspace_->running = {{"Bad\xFF", "com.example.bad", 1, ActivationPolicy::regular}};
    // Platform names are repaired rather than failing the whole answer.
    const auto repaired = runHelperWith({"running-apps"}, platform_);
    EXPECT_EQ(repaired.status, 0);
    EXPECT_EQ(repaired.out, "[{\"name\":\"Bad\xEF\xBF\xBD\",\"bundleId\":\"com.example.bad\"}]\n");

    // The bundle id of `icon` is echoed unchanged, so bytes that are not UTF-8 cannot be printed.
    const auto unencodable = runHelperWith({"icon", "com.example.\xC0"}, platform_);
    EXPECT_EQ(unencodable.status, 1);
    EXPECT_EQ(unencodable.err, "failed to encode JSON output\n");
    EXPECT_EQ(unencodable.out, "");
}

class ThrowingWorkspace : public FakeWorkspace {
public:
    std::vector<RunningApplication> runningApplications() override {
        throw std::runtime_error("workspace went away");
    }
};

TEST_F(Dispatch, UnexpectedExceptionIsOneMessageAndStatusOne) {
    platform_.workspace = std::make_unique<ThrowingWorkspace>();
    const auto run = runHelperWith({"running-apps"}, platform_);
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

TEST_F(Dispatch, ResultThatCouldNotBeWrittenIsNotASuccess) {
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    std::istringstream in;
    std::ostringstream err;
    helper::HelperIO io{in, out, err};
    EXPECT_EQ(helper::runHelper({"quillmap-helper", "running-apps"}, platform_, io), 1);
    EXPECT_EQ(err.str(), "failed to write output\n");
}

} // namespace
