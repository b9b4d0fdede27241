// Icons of a set of installed applications; each request is recorded.
#pragma once

#include "platform/icon_source.h"
#include "tests/fakes/fake_graphics.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FakeIconSource : public IconSource {
public:
    Image applicationIcon(std::string_view bundleId, std::int64_t pixels) override {
        requests.emplace_back(std::string(bundleId), pixels);
        if (!installed.contains(std::string(bundleId))) return nullptr;
        return FakeImage::make(pixels, pixels);
    }

    std::set<std::string> installed;
    std::vector<std::pair<std::string, std::int64_t>> requests;
};
