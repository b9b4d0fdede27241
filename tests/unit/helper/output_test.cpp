// Work run on another thread, and how its failures come back.
#include "helper/output.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

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
