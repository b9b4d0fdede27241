// The one printed line, the exit request, and work run on another thread.
#include "helper/output.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using helper::HelperExit;

helper_test::Caught print(const json::Value& value) {
    return helper_test::runCaught([&](helper::HelperIO& io) { helper::printJSON(io, value); });
}

TEST(PrintJSON, WritesOneCompactLineWithSlashesAndUnicodeAsIs) {
    const auto printed = print(json::ObjectBuilder()
                                   .add("url", "https://example.com/a/b?q=1")
                                   .add("png", "data:image/png;base64,//8/+A==")
                                   .add("title", "見積書 – \"v2\"\n改訂")
                                   .add("idle", 0.25)
                                   .add("missing", std::optional<std::string>())
                                   .add("flag", true)
                                   .value());
    ASSERT_FALSE(printed.exit);
    EXPECT_EQ(printed.out,
              "{\"url\":\"https://example.com/a/b?q=1\","
              "\"png\":\"data:image/png;base64,//8/+A==\","
              "\"title\":\"見積書 – \\\"v2\\\"\\n改訂\",\"idle\":0.25,\"flag\":true}\n");
    json::Array apps;
    apps.emplace_back(json::ObjectBuilder().add("name", "Mail").value());
    EXPECT_EQ(print(json::Value(apps)).out, "[{\"name\":\"Mail\"}]\n");
    EXPECT_EQ(print(json::Value(json::Array{})).out, "[]\n");
}

TEST(PrintJSON, UnencodableValuesFailWithNothingPrinted) {
    const double infinity = std::numeric_limits<double>::infinity();
    const json::Value unencodable[] = {
        json::ObjectBuilder().add("idleSeconds", std::numeric_limits<double>::quiet_NaN()).value(),
        json::ObjectBuilder().add("idleSeconds", infinity).value(),
        json::ObjectBuilder().add("appName", "Mail").add("idleSeconds", -infinity).value(),
        json::ObjectBuilder().add("title", "ab\xC3(").value(),
    };
    for (const auto& value : unencodable) {
        const auto printed = print(value);
        ASSERT_TRUE(printed.exit);
        EXPECT_EQ(printed.exit->message, "failed to encode JSON output");
        EXPECT_EQ(printed.exit->code, 1);
        EXPECT_EQ(printed.out, "");
        EXPECT_EQ(printed.err, ""); // the caller prints the message
    }
}

TEST(Fail, ThrowsAnExitRequestThatNoStandardHandlerCatches) {
    const auto caught = [](auto failing) -> std::optional<HelperExit> {
        try {
            try {
                failing();
            } catch (const std::exception&) {
                return std::nullopt;
            }
        } catch (const HelperExit& exit) {
            return exit;
        }
        return std::nullopt;
    };
    const auto plain = caught([] { helper::fail("no frontmost application"); });
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->message, "no frontmost application");
    EXPECT_EQ(plain->code, 1);
    EXPECT_EQ(caught([] { helper::fail("usage: icon <bundleId>", 2); })->code, 2);
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
    const std::pair<std::function<Result<int>()>, std::string> cases[] = {
        {[]() -> Result<int> { return PortError{"screen recording denied"}; },
         "screen recording denied"},
        {[]() -> Result<int> {
             throw helper::HelperError("no capturable window or display found");
         },
         "no capturable window or display found"},
        {[]() -> Result<int> { throw std::runtime_error("model session failed"); },
         "model session failed"},
        {[]() -> Result<int> { throw 7; }, "operation did not complete"},
        // fail() belongs on the main thread; inside the work it cannot end the process.
        {[]() -> Result<int> { helper::fail("capture failed: x", 3); },
         "operation did not complete"},
    };
    for (const auto& [work, description] : cases) {
        const auto result = helper::runBlocking(work);
        ASSERT_FALSE(result.ok()) << description;
        EXPECT_EQ(result.error().description, description);
    }
}

} // namespace
