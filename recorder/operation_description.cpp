// What an operation is described by: the application, the element and the page it was aimed
// at, read where the operation happened.
#include "recorder/ax_probe.h"
#include "recorder/recorder.h"

namespace {

/// An element outside any titled window (a popup menu's item) belongs to the window the
/// window server names for it (the popup's owner).
void completeWindowTitle(std::optional<AXTarget>& target,
                         const std::optional<RunningApplication>& app) {
    if (target && !target->windowTitle && app) target->windowTitle = app->frontWindowTitle;
}

std::optional<std::int32_t> processOf(const std::optional<RunningApplication>& app) {
    if (!app || app->processIdentifier <= 0) return std::nullopt;
    return app->processIdentifier;
}

} // namespace

Recorder::Description Recorder::describePointer(const PointerView& pointer,
                                                std::optional<std::uint32_t> windowNumber,
                                                std::optional<RunningApplication> owner,
                                                std::optional<std::int64_t> pressAtMs) {
    Description description;
    description.app = std::move(owner);
    const std::optional<std::int32_t> pid = processOf(description.app);
    {
        // Element and page are read as one moment: what both ask is asked once.
        const AccessibilityMoment oneMoment(ports_.accessibility);
        if (pressAtMs) ports_.accessibility.inputAt(*pressAtMs);
        const ProbeDeadline probes(ports_.clock, ProbeDeadline::operationBudgetMs);
        description.target = AXProbe::elementAt(ports_.accessibility, pointer.topLeft, pid, probes,
                                                windowNumber, &description.url, &typedElements_);
        // Outside any page (a browser's tool bar), the page its application shows.
        if (!description.url && pid)
            description.url = AXProbe::frontURL(ports_.accessibility, *pid, probes, webAreas_);
    }
    completeWindowTitle(description.target, description.app);
    holdTypingShownIn(description.target ? description.target->windowTitle : std::nullopt,
                      description.url);
    return description;
}

std::optional<RunningApplication>
Recorder::keyboardApplication(std::optional<std::uint32_t> keyWindow) {
    if (keyWindow) {
        if (auto owner = ports_.workspace.applicationOfWindow(*keyWindow)) return owner;
    }
    return ports_.workspace.frontmostApplication();
}

Recorder::Description Recorder::describeKeyboard(std::optional<RunningApplication> front,
                                                 AXProbe::TypingTarget typing,
                                                 std::optional<std::int64_t> keyAtMs,
                                                 std::optional<std::uint32_t> keyWindow) {
    Description description;
    description.app = std::move(front);
    const std::optional<std::int32_t> pid = processOf(description.app);
    {
        const AccessibilityMoment oneMoment(ports_.accessibility);
        if (keyAtMs) ports_.accessibility.inputAt(*keyAtMs);
        if (keyWindow) ports_.accessibility.keysTo(*keyWindow);
        const ProbeDeadline probes(ports_.clock, ProbeDeadline::operationBudgetMs);
        description.target = AXProbe::focusedElement(ports_.accessibility, probes, &description.url,
                                                     &typedElements_, typing);
        if (!description.url && pid)
            description.url = AXProbe::frontURL(ports_.accessibility, *pid, probes, webAreas_);
    }
    completeWindowTitle(description.target, description.app);
    holdTypingShownIn(description.target ? description.target->windowTitle : std::nullopt,
                      description.url);
    return description;
}

ActionRecord Recorder::describedRecord(const std::string& kind, Description description,
                                       const PointerView& pointer) const {
    ActionRecord record;
    record.episodeId = episodeId_;
    record.kind = kind;
    if (description.app) {
        record.app = std::move(description.app->localizedName);
        record.bundleId = std::move(description.app->bundleIdentifier);
    }
    record.url = std::move(description.url);
    record.target = std::move(description.target);
    record.cursor = std::vector<double>{pointer.topLeft.x, pointer.topLeft.y};
    return record;
}
