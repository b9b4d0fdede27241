// Focus dwells and clipboard provenance.
#include "common/unicode_text.h"
#include "recorder/ax_probe.h"
#include "recorder/capture_stream.h"
#include "recorder/record_screening.h"
#include "recorder/recorder.h"

void Recorder::pollFocus() {
    if (paused_) return;
    if (!CaptureStream::permitted()) return;
    const std::int64_t now = ports_.clock.nowMs();

    std::optional<std::string> name;
    std::optional<std::string> bundle;
    std::optional<std::string> title;
    std::optional<std::string> url;
    if (const auto front = ports_.workspace.frontmostApplication()) {
        name = front->localizedName;
        bundle = front->bundleIdentifier;
        const ProbeDeadline probes(ports_.clock, ProbeDeadline::operationBudgetMs);
        AXProbe::FrontWindow window = AXProbe::frontWindowOf(
            ports_.accessibility, front->processIdentifier, probes, webAreas_);
        // Without accessibility, or in a popup that has no title, the window server's title
        // of the front window (a popup's owner) names the stay.
        title = window.title ? std::move(window.title) : front->frontWindowTitle;
        url = std::move(window.url);
    }
    holdTypingShownIn(title, url);
    // The dwell is identified by application name, window title and page address. An address
    // missing on one side is no sign of another page (a busy browser lets the request run out
    // of time): the dwell goes on, and takes an address read late.
    if (name == focusApp_ && title == focusWindow_ && (url == focusUrl_ || !url || !focusUrl_)) {
        if (url) focusUrl_ = std::move(url);
        return;
    }

    flushFocus(now);
    focusApp_ = std::move(name);
    focusBundle_ = std::move(bundle);
    focusWindow_ = std::move(title);
    focusUrl_ = std::move(url);
    focusEnterMs_ = now;
}

void Recorder::holdTypingShownIn(const std::optional<std::string>& title,
                                 const std::optional<std::string>& url) {
    // A title or an address that changed while a line was typed may follow the field (a
    // search's title, its results' address): one that shows the line was made of it. One
    // that showed the same words before is not.
    if (title && title != focusWindow_) typedText_.holdLineShownIn(*title);
    if (url && url != focusUrl_) typedText_.holdLineShownIn(*url);
}

void Recorder::flushFocus(std::int64_t now) {
    if (!focusApp_ && !focusWindow_) return;
    FocusRecord record;
    record.episodeId = episodeId_;
    record.app = focusApp_;
    record.bundleId = focusBundle_;
    record.windowTitle = focusWindow_;
    record.url = focusUrl_;
    record.enterAtMs = focusEnterMs_;
    record.exitAtMs = now;
    record.durationMs = now - focusEnterMs_;
    record_screening::screen(record, typedText_);
    CaptureStream::record("focus", episodeId_, record);
}

void Recorder::pollClipboard() {
    if (ports_.pasteboard.changeCount() == lastClipboardChangeCount_) return;
    lastClipboardChangeCount_ = ports_.pasteboard.changeCount();
    std::optional<std::string> text = ports_.pasteboard.plainText();
    const auto front = ports_.workspace.frontmostApplication();
    lastCopyApp_ = front ? front->localizedName : std::nullopt;
    lastCopyCharCount_ = text ? static_cast<std::int64_t>(text::characterCount(*text)) : 0;
    if (text) typedText_.copied(*text);
    // Only the count is kept; the clipboard's text does not linger in freed memory.
    if (text) wipeString(*text);
}
