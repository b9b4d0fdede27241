#pragma once

#include "platform/accessibility.h"
#include "platform/macos/ax_structure_watch.h"

/// The macOS accessibility API (AXUIElement).
class AXAccessibility final : public Accessibility {
public:
    AXElement systemWide() override;
    AXElement application(std::int32_t pid) override;
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override;
    /// `valueSettableAttribute` is answered by AXUIElementIsAttributeSettable of "AXValue".
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    /// AXUIElementCopyAttributeValues from the first entry.
    AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                std::size_t maxCount) override;
    /// CFEqual of the two AXUIElementRefs.
    bool sameElement(const AXElement& a, const AXElement& b) override;
    /// Created, destroyed and load-complete notices of the application, counted as the main
    /// run loop delivers them.
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;
    /// Every request asks: each answer comes from the application at once.
    void beginMoment() override {}
    void endMoment() override {}

private:
    AXStructureWatch structureWatch_;
};
