// The accessibility port seen through a deadline: no request once it has passed, and no
// request allowed to wait longer than the time left.
#pragma once

#include "platform/accessibility.h"
#include "recorder/probe_deadline.h"

class BoundedAccessibility final : public Accessibility {
public:
    /// `requestSeconds` is the longest any one request may wait while time is left.
    BoundedAccessibility(Accessibility& platform, const ProbeDeadline& deadline,
                         float requestSeconds);

    AXElement systemWide() override;
    /// Null once the deadline has passed.
    AXElement application(std::int32_t pid) override;
    /// Sets the shorter of `seconds` and the time left.
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    /// Null once the deadline has passed.
    AXElement elementAtPosition(const AXElement& scope, float x, float y) override;
    /// Null once the deadline has passed.
    AXElement elementInWindow(const AXElement& application, std::uint32_t windowNumber, float x,
                              float y) override;
    /// Monostate once the deadline has passed.
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    /// Monostate once the deadline has passed.
    AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                std::size_t maxCount) override;
    /// Nothing once the deadline has passed.
    void prefetch(std::span<const AXElement> elements,
                  std::span<const std::string_view> attributes) override;
    bool sameElement(const AXElement& a, const AXElement& b) override;
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;
    void beginMoment() override;
    void endMoment() override;

private:
    /// False once the deadline has passed; otherwise, when less than one request's time is
    /// left, lowers `element`'s timeout to what is left.
    bool mayAsk(const AXElement& element);

    Accessibility& platform_;
    const ProbeDeadline& deadline_;
    float requestSeconds_;
};
