#include "recorder/recorder.h"

#include "common/unicode_text.h"
#include "common/uuid.h"
#include "recorder/ax_probe.h"
#include "recorder/capture_stream.h"
#include "recorder/record_screening.h"
#include "recorder/screen_shooter.h"
#include "recorder/user_messages.h"

namespace {

// Wipes a run's text on every way out of `emit`.
class WipeOnExit {
public:
    explicit WipeOnExit(std::optional<std::string>& text) : text_(text) {}
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;
    ~WipeOnExit() {
        if (text_) wipeString(*text_);
    }

private:
    std::optional<std::string>& text_;
};

bool takesResultFrame(const std::string& kind) {
    return kind == "click" || kind == "doubleclick" || kind == "paste";
}

} // namespace

Recorder::Recorder(const RecorderPorts& ports) : ports_(ports), episodeId_("ep-" + randomUuid()) {
    const std::int64_t startedAtMs = ports_.clock.nowMs();
    meta_.id = episodeId_;
    meta_.startedAtMs = startedAtMs;
    meta_.status = "recording";
    // A copy made before recording began is never attributed.
    lastClipboardChangeCount_ = ports_.pasteboard.changeCount();
    focusEnterMs_ = ports_.clock.nowMs();
}

Recorder::~Recorder() = default;

Recorder& Recorder::shared(const RecorderPorts& ports) {
    static auto* instance = new Recorder(ports);
    return *instance;
}

Recorder::PointerView Recorder::readPointer() {
    const geo::Point location = ports_.screens.mouseLocation();
    const auto frames = ports_.screens.screenFrames();
    const double height = frames.empty() ? 0.0 : frames.front().height;
    return pointerAt({location.x, height - location.y});
}

Recorder::PointerView Recorder::pointerAt(geo::Point topLeft) {
    const auto frames = ports_.screens.screenFrames();
    const double height = frames.empty() ? 0.0 : frames.front().height;
    const double width = frames.empty() ? 0.0 : frames.front().width;
    PointerView view;
    view.topLeft = topLeft;
    view.normalised.x = width > 1.0 ? topLeft.x / width : topLeft.x;
    view.normalised.y = height > 1.0 ? topLeft.y / height : topLeft.y;
    return view;
}

void Recorder::emit(const std::string& kind, std::optional<std::string> key,
                    std::optional<std::string> precomputedTypingText, const EventMoment& moment) {
    const WipeOnExit wipeTyped(precomputedTypingText);
    if (paused_) return;
    if (!CaptureStream::permitted()) return;

    // A late-handled operation keeps its own time and place.
    const std::int64_t now = ports_.clock.nowMs();
    const std::int64_t actionMs = moment.timestampMs.value_or(now);
    const std::int64_t dtMsFromPrev = lastActionMs_ ? actionMs - *lastActionMs_ : 0;
    lastActionMs_ = actionMs;
    const PointerView pointer = moment.location ? pointerAt(*moment.location) : readPointer();

    // The screen as it was: its pixels are taken before any accessibility request, which
    // a slow application can delay while it already reacts to the operation.
    ScreenShooter::Pending shot;
    if (kind != "type") shot = ports_.shooter.begin(seq_, episodeId_, pointer.normalised);

    const auto front = ports_.workspace.frontmostApplication();
    std::optional<std::int32_t> pid;
    if (front) pid = front->processIdentifier;

    ActionRecord record;
    {
        // Element and page are read as one moment: what both ask is asked once.
        const AccessibilityMoment oneMoment(ports_.accessibility);
        const ProbeDeadline probes(ports_.clock, ProbeDeadline::operationBudgetMs);
        record.target = AXProbe::elementAt(
            ports_.accessibility, pointer.topLeft, pid, probes, &typedElements_,
            kind == "type" ? AXProbe::TypingTarget::yes : AXProbe::TypingTarget::no);
        if (front) {
            record.url = AXProbe::frontURL(ports_.accessibility, front->processIdentifier, probes,
                                           webAreas_);
        }
    }
    // An element outside any titled window (a popup menu's item) belongs to the front window.
    if (record.target && !record.target->windowTitle && front)
        record.target->windowTitle = front->frontWindowTitle;
    // Element and page are read before the application sees a press it holds: a menu item
    // is still there, a link has not navigated yet, and the application's reaction does not
    // queue the requests behind it.
    ports_.eventLoop.releaseHeldInput();
    if (kind == "type" && precomputedTypingText) {
        record.inputCharCount =
            static_cast<std::int64_t>(text::characterCount(*precomputedTypingText));
        record.inputKind = classifyInput(*precomputedTypingText);
    }
    if (kind == "paste") {
        record.clipboardFromApp = lastCopyApp_;
        record.clipboardCharCount = lastCopyCharCount_;
    }
    // The frame reaches the parent before the record that names it.
    record.screenshotFull = shot.finish();

    record.episodeId = episodeId_;
    record.seq = seq_;
    record.timestampMs = now;
    record.dtMsFromPrev = dtMsFromPrev;
    record.kind = kind;
    if (front) {
        record.app = front->localizedName;
        record.bundleId = front->bundleIdentifier;
    }
    record.cursor = std::vector<double>{pointer.topLeft.x, pointer.topLeft.y};
    record.key = std::move(key);

    const std::int64_t recordedSeq = seq_;
    ++seq_;
    write(std::move(record));
    if (takesResultFrame(kind)) scheduleResultFrame(recordedSeq, actionMs);
}

void Recorder::write(ActionRecord record) {
    record_screening::screen(record, typedText_);
    CaptureStream::record("events", episodeId_, record);
    meta_.actionCount += 1;
    if (record.screenshotFull) meta_.frameCount += 1;
}

void Recorder::appendTyping(std::string_view characters, std::optional<std::string> targetSig) {
    if (typingTargetSig_ && (!targetSig || *targetSig != *typingTargetSig_)) flushTyping();
    typingTargetSig_ = std::move(targetSig);
    typingBuffer_.append(characters);
    typedText_.type(characters);
}

void Recorder::flushTyping(const EventMoment& moment) {
    typedText_.breakEntry();
    if (typingBuffer_.empty()) return;
    std::string text = typingBuffer_.take();
    typingTargetSig_.reset();
    emit("type", std::nullopt, std::optional<std::string>(std::move(text)), moment);
    wipeString(text);
}

std::string Recorder::classifyInput(std::string_view text) {
    const std::size_t total = text::characterCount(text);
    const std::size_t numeric = text::numericCharacterCount(text);
    if (numeric == total) return "number";
    return numeric > 0 ? "mixed" : "text";
}

void Recorder::togglePause() {
    paused_ = !paused_;
    UserMessages::print(paused_ ? "⏸ 一時停止\n" : "▶︎ 再開\n");
}

void Recorder::finalizeEpisode(const std::string& status) {
    const std::int64_t now = ports_.clock.nowMs();
    flushFocus(now);
    // An open run is dropped, not recorded.
    typingBuffer_.drop();
    typingTargetSig_.reset();
    meta_.status = status;
    meta_.endedAtMs = ports_.clock.nowMs();
    json::ObjectBuilder header;
    header.add("type", "finish").add("sessionId", episodeId_);
    CaptureStream::send(std::move(header).value());
}

const std::string& Recorder::episodeId() const {
    return episodeId_;
}
std::int64_t Recorder::seq() const {
    return seq_;
}
bool Recorder::paused() const {
    return paused_;
}
const EpisodeMeta& Recorder::meta() const {
    return meta_;
}

void Recorder::setEpisodeIdForTesting(std::string episodeId) {
    episodeId_ = std::move(episodeId);
}
