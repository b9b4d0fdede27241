// A capture source that returns images of a set size, or the errors a test asks for.
// Records the displays captured, the configurations and the threads that asked.
#pragma once

#include "platform/screen_capture.h"
#include "tests/fakes/fake_graphics.h"

#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class FakeScreenCapture : public ScreenCapture {
public:
    FakeScreenCapture() { content.displays.push_back({1, 1440, 900}); }

    ShareableContent content;
    std::optional<std::string> contentError;
    std::optional<std::string> captureError;
    bool returnNullImage = false;
    /// Runs inside `captureDisplay`, on the capturing thread, before it answers.
    std::function<void()> duringCapture;
    /// When given, images answered are still coming in until it is ready.
    std::shared_future<void> pixelsArrive;

    Result<ShareableContent> shareableContent() override {
        std::lock_guard guard(mutex_);
        threads_.push_back(std::this_thread::get_id());
        if (contentError) return PortError{*contentError};
        return content;
    }
    Result<Image> captureDisplay(const ShareableDisplay& display,
                                 const CaptureConfiguration& configuration) override {
        std::lock_guard guard(mutex_);
        threads_.push_back(std::this_thread::get_id());
        if (duringCapture) duringCapture();
        displaysCaptured_.push_back(display.displayID);
        return image(configuration);
    }
    Result<Image> captureWindow(const ShareableWindow&,
                                const CaptureConfiguration& configuration) override {
        std::lock_guard guard(mutex_);
        return image(configuration);
    }

    std::vector<CaptureConfiguration> configurations() const { return locked(configurations_); }
    std::vector<std::uint32_t> displaysCaptured() const { return locked(displaysCaptured_); }
    /// Threads that called the port, in order.
    std::vector<std::thread::id> callingThreads() const { return locked(threads_); }

private:
    Result<Image> image(const CaptureConfiguration& configuration) {
        configurations_.push_back(configuration);
        if (captureError) return PortError{*captureError};
        if (returnNullImage) return Image{};
        return FakeImage::make(configuration.width, configuration.height, pixelsArrive);
    }
    template <typename T> T locked(const T& value) const {
        std::lock_guard guard(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    std::vector<CaptureConfiguration> configurations_;
    std::vector<std::uint32_t> displaysCaptured_;
    std::vector<std::thread::id> threads_;
};
