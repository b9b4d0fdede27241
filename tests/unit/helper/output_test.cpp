#include "helper/output.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using helper::HelperExit;
using helper::HelperIO;

struct Printed {
    std::string out;
    std::optional<HelperExit> exit;
};

Printed print(const json::Value& value) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    HelperIO io{in, out, err};
    Printed printed;
    try {
        helper::printJSON(io, value);
    } catch (const HelperExit& exit) {
        printed.exit = exit;
    }
    printed.out = out.str();
    EXPECT_EQ(err.str(), "") << "printJSON never writes standard error itself";
    return printed;
}

TEST(PrintJSON, WritesOneCompactLineWithSlashesAndUnicodeAsIs) {
    const auto value = json::ObjectBuilder()
                           .add("url", "https://example.com/a/b?q=1")
                           .add("png", "data:image/png;base64,//8/+A==")
                           .add("title", "見積書 – \"v2\"\n改訂")
                           .add("idle", 0.25)
                           .add("missing", std::optional<std::string>())
                           .add("flag", true)
                           .value();
    const auto printed = print(value);
    ASSERT_FALSE(printed.exit);
    EXPECT_EQ(printed.out,
              "{\"url\":\"https://example.com/a/b?q=1\","
              "\"png\":\"data:image/png;base64,//8/+A==\","
              "\"title\":\"見積書 – \\\"v2\\\"\\n改訂\",\"idle\":0.25,\"flag\":true}\n");
}

TEST(PrintJSON, ArrayOfObjectsAndEmptyArray) {
    json::Array apps;
    apps.emplace_back(json::ObjectBuilder().add("name", "Mail").value());
    EXPECT_EQ(print(json::Value(apps)).out, "[{\"name\":\"Mail\"}]\n");
    EXPECT_EQ(print(json::Value(json::Array{})).out, "[]\n");
}

TEST(PrintJSON, UnencodableValuesFailWithNothingOnStandardOutput) {
    const double unencodable[] = {std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
    for (const double number : unencodable) {
        const auto printed =
            print(json::ObjectBuilder().add("appName", "Mail").add("idleSeconds", number).value());
        ASSERT_TRUE(printed.exit) << number;
        EXPECT_EQ(printed.exit->message, "failed to encode JSON output");
        EXPECT_EQ(printed.exit->code, 1);
        EXPECT_EQ(printed.out, "");
    }
    const auto invalidText = print(json::ObjectBuilder().add("title", "ab\xC3(").value());
    ASSERT_TRUE(invalidText.exit);
    EXPECT_EQ(invalidText.exit->message, "failed to encode JSON output");
    EXPECT_EQ(invalidText.out, "");
}

TEST(Fail, ThrowsAnExitRequestWithDefaultCodeOne) {
    try {
        helper::fail("no frontmost application");
        FAIL() << "fail returned";
    } catch (const HelperExit& exit) {
        EXPECT_EQ(exit.message, "no frontmost application");
        EXPECT_EQ(exit.code, 1);
    }
    try {
        helper::fail("usage: icon <bundleId>", 2);
    } catch (const HelperExit& exit) {
        EXPECT_EQ(exit.code, 2);
    }
}

TEST(Fail, IsNotCaughtAsAStandardException) {
    bool caughtAsStd = false;
    try {
        try {
            helper::fail("x", 3);
        } catch (const std::exception&) {
            caughtAsStd = true;
        }
    } catch (const HelperExit&) {
    }
    EXPECT_FALSE(caughtAsStd);
}

TEST(RunBlocking, ReturnsTheValueComputedOnAnotherThread) {
    const auto caller = std::this_thread::get_id();
    std::thread::id worker;
    const auto result = helper::runBlocking([&]() -> Result<int> {
        worker = std::this_thread::get_id();
        return 42;
    });
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), 42);
    EXPECT_NE(worker, caller);
}

TEST(RunBlocking, CarriesEachKindOfFailureByItsTextualForm) {
    const auto portError =
        helper::runBlocking([]() -> Result<int> { return PortError{"screen recording denied"}; });
    ASSERT_FALSE(portError.ok());
    EXPECT_EQ(portError.error().description, "screen recording denied");

    const auto helperError = helper::runBlocking([]() -> Result<int> {
        throw helper::HelperError("no capturable window or display found");
    });
    ASSERT_FALSE(helperError.ok());
    EXPECT_EQ(helperError.error().description, "no capturable window or display found");

    const auto stdError = helper::runBlocking(
        []() -> Result<std::string> { throw std::runtime_error("model session failed"); });
    ASSERT_FALSE(stdError.ok());
    EXPECT_EQ(stdError.error().description, "model session failed");
}

TEST(RunBlocking, WorkThatEndsWithoutAResultDidNotComplete) {
    const auto odd = helper::runBlocking([]() -> Result<int> { throw 7; });
    ASSERT_FALSE(odd.ok());
    EXPECT_EQ(odd.error().description, "operation did not complete");

    // fail() belongs on the main thread; inside the work it cannot end the process.
    const auto exitRequest =
        helper::runBlocking([]() -> Result<int> { helper::fail("capture failed: x", 3); });
    ASSERT_FALSE(exitRequest.ok());
    EXPECT_EQ(exitRequest.error().description, "operation did not complete");
}

} // namespace
