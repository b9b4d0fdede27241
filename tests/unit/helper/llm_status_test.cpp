// `llm-status`: the availability reasons as the parent reads them.
#include "helper/classify.h"
#include "tests/fakes/fake_language_model.h"

#include <gtest/gtest.h>
#include <sstream>

namespace helper {
namespace {

std::string printedStatus(FakeLanguageModel& model) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    HelperIO io{in, out, err};
    runLlmStatus(io, model);
    EXPECT_TRUE(err.str().empty());
    return out.str();
}

TEST(LlmStatus, MapsEachAvailabilityToItsReason) {
    using State = ModelAvailability::State;
    const std::vector<std::pair<ModelAvailability, std::string>> cases = {
        {{State::available, {}}, "{\"available\":true}\n"},
        {{State::deviceNotEligible, {}},
         "{\"available\":false,\"reason\":\"deviceNotEligible\"}\n"},
        {{State::appleIntelligenceNotEnabled, {}},
         "{\"available\":false,\"reason\":\"appleIntelligenceNotEnabled\"}\n"},
        {{State::modelNotReady, {}}, "{\"available\":false,\"reason\":\"modelNotReady\"}\n"},
        {{State::other, "somethingNew"}, "{\"available\":false,\"reason\":\"unknown\"}\n"},
    };
    for (const auto& [state, expected] : cases) {
        FakeLanguageModel model;
        model.state = state;
        EXPECT_EQ(printedStatus(model), expected);
    }
}

TEST(LlmStatus, OldSystemIsUnsupportedWhateverTheModelSays) {
    FakeLanguageModel model;
    model.supported = false;
    model.state = {ModelAvailability::State::available, {}};
    EXPECT_EQ(printedStatus(model), "{\"available\":false,\"reason\":\"unsupportedOS\"}\n");
}

TEST(LlmStatus, SendsNoRequest) {
    FakeLanguageModel model;
    printedStatus(model);
    EXPECT_TRUE(model.requests.empty());
}

} // namespace
} // namespace helper
