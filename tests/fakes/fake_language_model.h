// An on-device model with a preset system check, availability and answer; requests recorded.
#pragma once

#include "platform/language_model.h"

#include <stdexcept>
#include <vector>

class FakeLanguageModel : public LanguageModel {
public:
    bool systemSupportsModel() override {
        ++systemChecks;
        return supported;
    }
    ModelAvailability availability() override { return state; }
    Result<WorkClassification> respond(const ModelRequest& request) override {
        requests.push_back(request);
        if (throwsOnRespond) throw std::runtime_error("model session crashed");
        return answer;
    }

    bool supported = true;
    ModelAvailability state{ModelAvailability::State::available, {}};
    Result<WorkClassification> answer = WorkClassification{"document", "資料作成", {"資料"}, {}};
    bool throwsOnRespond = false; ///< a port that breaks its promise not to throw
    int systemChecks = 0;
    std::vector<ModelRequest> requests;
};
