// Icons of a set of installed applications; each request is recorded.
#pragma once

#include "platform/icon_source.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FakeIconSource : public IconSource {
public:
    /// An icon bitmap of the size asked for.
    class Bitmap : public PlatformImage {
    public:
        Bitmap(std::string bundleIdOfApp, std::int64_t pixels)
            : bundleId(std::move(bundleIdOfApp)), pixels_(pixels) {}
        std::int64_t width() const override { return pixels_; }
        std::int64_t height() const override { return pixels_; }
        const std::string bundleId;

    private:
        std::int64_t pixels_;
    };

    Image applicationIcon(std::string_view bundleId, std::int64_t pixels) override {
        requests.emplace_back(std::string(bundleId), pixels);
        if (!installed.contains(std::string(bundleId)) || failBitmap) return nullptr;
        return std::make_shared<Bitmap>(std::string(bundleId), pixels);
    }

    std::set<std::string> installed;
    bool failBitmap = false; ///< the application exists but no bitmap can be made
    std::vector<std::pair<std::string, std::int64_t>> requests;
};
