#pragma once

#include "platform/accessibility.h"

/// The macOS accessibility API (AXUIElement).
class AXAccessibility final : public Accessibility {
public:
    AXElement systemWide() override;
    AXElement application(std::int32_t pid) override;
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override;
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
};
