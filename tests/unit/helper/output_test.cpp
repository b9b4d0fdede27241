// The one printed line, and work run on another thread.
#include "helper/output.h"
#include "tests/unit/helper/helper_rig.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>
#include <thread>

namespace {

helper_test::Run print(const json::Value& value) {
    return helper_test::runWith([&](helper::HelperIO& io) { helper::printJSON(io, value); });
}

TEST(PrintJSON, WritesOneCompactLineWithSlashesAndUnicodeAsIs) {
    const auto printed = print(json::ObjectBuilder()
                                   .add("png", "data:image/png;base64,//8/+A==")
                                   .add("title", "見積書 – \"v2\"\n改訂")
                                   .add("idle", 0.25)
                                   .add("missing", std::optional<std::string>())
                                   .add("apps", json::Array{})
                                   .value());
    ASSERT_FALSE(printed.exit);
    EXPECT_EQ(printed.out, "{\"png\":\"data:image/png;base64,//8/+A==\","
                           "\"title\":\"見積書 – \\\"v2\\\"\\n改訂\",\"idle\":0.25,\"apps\":[]}\n");
}

TEST(PrintJSON, UnencodableValuesFailWithNothingPrinted) {
    const double infinity = std::numeric_limits<double>::infinity();
    const json::Value unencodable[] = {
        json::ObjectBuilder().add("idleSeconds", std::numeric_limits<double>::quiet_NaN()).value(),
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

TEST(RunBlocking, ReturnsTheValueOfAnotherThreadOrEachKindOfFailureByItsText) {
    const auto caller = std::this_thread::get_id();
    const auto result = helper::runBlocking(
        [&]() -> Result<std::thread::id> { return std::this_thread::get_id(); });
    ASSERT_TRUE(result.ok());
    EXPECT_NE(result.value(), caller);

    const std::pair<std::function<Result<int>()>, std::string> cases[] = {
        {[]() -> Result<int> { return PortError{"screen recording denied"}; },
         "screen recording denied"},
        {[]() -> Result<int> { throw helper::HelperError("no capturable window"); },
         "no capturable window"},
        {[]() -> Result<int> { throw std::runtime_error("model session failed"); },
         "model session failed"},
        {[]() -> Result<int> { throw 7; }, "operation did not complete"},
        // fail() belongs on the main thread; inside the work it cannot end the process.
        {[]() -> Result<int> { helper::fail("capture failed: x", 3); },
         "operation did not complete"},
    };
    for (const auto& [work, description] : cases) {
        const auto failed = helper::runBlocking(work);
        ASSERT_FALSE(failed.ok()) << description;
        EXPECT_EQ(failed.error().description, description);
    }
}

} // namespace
