// The accessibility tree in the recorder's global coordinates, whose origin is the primary
// monitor's top-left corner. AT-SPI measures from the root window's corner instead; the two
// differ when a monitor lies left of or above the primary one.
#pragma once

#include "platform/accessibility.h"

#include <functional>
#include <memory>

class PrimaryOriginAccessibility final : public Accessibility {
public:
    /// `primaryOrigin` gives the primary monitor's top-left corner in root-window pixels, as
    /// it is at the moment of the call.
    PrimaryOriginAccessibility(std::unique_ptr<Accessibility> rootCoordinates,
                               std::function<geo::Point()> primaryOrigin);

    AXElement systemWide() override;
    AXElement application(std::int32_t pid) override;
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    /// The element at a point measured from the primary monitor's corner.
    AXElement elementAtPosition(const AXElement& scope, float x, float y) override;
    /// The same, in one window of an application.
    AXElement elementInWindow(const AXElement& application, std::uint32_t windowNumber, float x,
                              float y) override;
    /// "AXPosition" is measured from the primary monitor's corner; the rest is passed on.
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                std::size_t maxCount) override;
    void prefetch(std::span<const AXElement> elements,
                  std::span<const std::string_view> attributes) override;
    bool sameElement(const AXElement& a, const AXElement& b) override;
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;
    void beginMoment() override;
    void endMoment() override;
    void inputAt(std::int64_t inputMs) override;
    void keysTo(std::uint32_t windowNumber) override;

private:
    std::unique_ptr<Accessibility> inner_;
    std::function<geo::Point()> primaryOrigin_;
};
