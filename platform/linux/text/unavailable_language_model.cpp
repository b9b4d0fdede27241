#include "platform/linux/text/unavailable_language_model.h"

ModelAvailability UnavailableLanguageModel::availability() {
    return {ModelAvailability::State::deviceNotEligible, {}};
}

Result<WorkClassification> UnavailableLanguageModel::respond(const ModelRequest&) {
    return PortError{"no on-device language model on Linux"};
}
