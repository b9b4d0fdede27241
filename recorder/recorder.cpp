#include "recorder/recorder.h"

#include "common/unicode_text.h"
#include "common/utf8.h"
#include "common/uuid.h"
#include "recorder/ax_probe.h"
#include "recorder/capture_stream.h"
#include "recorder/record_screening.h"
#include "recorder/screen_shooter.h"
#include "recorder/user_messages.h"

#include <algorithm>

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

bool isPointerOperation(const std::string& kind) {
    return kind == "click" || kind == "doubleclick" || kind == "rightclick";
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
    if (kind == "type") {
        if (paused_ || !CaptureStream::permitted()) return;
        writeTypingRun(precomputedTypingText.value_or(""));
        return;
    }
    // While paused the open run is dropped with the operation that ends it.
    if (paused_) {
        dropTyping();
        return;
    }
    if (!CaptureStream::permitted()) {
        flushTyping();
        return;
    }

    // A late-handled operation keeps its own place, and its result frame its own delay.
    const std::int64_t actionMs = moment.timestampMs.value_or(ports_.clock.nowMs());
    const PointerView pointer = moment.location ? pointerAt(*moment.location) : readPointer();
    const bool byPointer = isPointerOperation(kind);
    // A press belongs to the window it was made in, in front or not; keys to the one that
    // was active as they went down.
    std::optional<RunningApplication> app =
        byPointer ? ports_.workspace.applicationAt(pointer.topLeft, moment.windowNumber)
                  : keyboardApplication(moment.windowNumber);

    // A press in a menu or another popup is not held back (the popup holds the pointer
    // itself), and the popup may close at once: what was under it is read before anything
    // else.
    std::optional<Description> description;
    if (byPointer && app && app->frontWindowIsPopup)
        description =
            describePointer(pointer, moment.windowNumber, std::move(app), moment.timestampMs);
    // The screen as it was: its pixels are taken on the shooter's worker while the element is
    // read (neither waits for the other), and before the run this operation ends is written,
    // which waits for the parent.
    ScreenShooter::Pending shot = ports_.shooter.begin(episodeId_, pointer.normalised);
    if (!description) {
        description = byPointer ? describePointer(pointer, moment.windowNumber, std::move(app),
                                                  moment.timestampMs)
                                : describeKeyboard(std::move(app), AXProbe::TypingTarget::no,
                                                   moment.timestampMs, moment.windowNumber);
    }
    // Pixels, element and page are taken before the application sees a press it holds: a
    // menu item is still there, a link has not navigated yet, and the application's reaction
    // does not queue the requests behind it.
    shot.awaitPixels();
    ports_.eventLoop.releaseHeldInput();
    // The run comes before the operation that ended it, and before its frame.
    flushTyping();

    ActionRecord record = describedRecord(kind, std::move(*description), pointer);
    record.key = std::move(key);
    if (kind == "paste") {
        record.clipboardFromApp = lastCopyApp_;
        record.clipboardCharCount = lastCopyCharCount_;
    }
    // The frame reaches the parent before the record that names it.
    record.screenshotFull = shot.finish(seq_);
    const std::int64_t recordedSeq = seq_;
    record.seq = seq_;
    ++seq_;
    write(record, ports_.clock.nowMs());
    if (takesResultFrame(kind)) scheduleResultFrame(recordedSeq, actionMs);
}

void Recorder::writeTypingRun(std::string_view text) {
    // The run is described by what had keyboard focus at its first key; one begun while
    // recording was paused, by what has it now.
    Description description =
        typingDescription_
            ? std::move(*typingDescription_)
            : describeKeyboard(ports_.workspace.frontmostApplication(), AXProbe::TypingTarget::yes);
    const PointerView pointer = typingPointer_ ? *typingPointer_ : readPointer();
    typingDescription_.reset();
    typingPointer_.reset();
    ActionRecord record = describedRecord("type", std::move(description), pointer);
    record.inputCharCount = static_cast<std::int64_t>(text::characterCount(text));
    record.inputKind = classifyInput(text);
    record_screening::screenRunStart(record, text);
    record.seq = seq_;
    ++seq_;
    write(record, ports_.clock.nowMs());
}

void Recorder::write(ActionRecord& record, std::int64_t momentMs) {
    record_screening::screen(record, typedText_);
    // A clock set back never makes a record older than the one before it.
    record.timestampMs = lastTimestampMs_ ? std::max(momentMs, *lastTimestampMs_) : momentMs;
    record.dtMsFromPrev = lastTimestampMs_ ? record.timestampMs - *lastTimestampMs_ : 0;
    lastTimestampMs_ = record.timestampMs;
    CaptureStream::record("events", episodeId_, record);
    meta_.actionCount += 1;
    if (record.screenshotFull) meta_.frameCount += 1;
}

void Recorder::appendTyping(std::string_view characters, std::optional<std::string> targetSig,
                            std::optional<std::uint32_t> keyWindow) {
    if (typingTargetSig_ && (!targetSig || *targetSig != *typingTargetSig_)) flushTyping();
    typingTargetSig_ = std::move(targetSig);
    // A run's element, application and window are those with keyboard focus at its first key:
    // by the time it ends, the focus may have moved on (a click on the next field).
    if (typingBuffer_.empty() && !characters.empty() && !paused_) {
        typingPointer_ = readPointer();
        typingDescription_ = describeKeyboard(keyboardApplication(keyWindow),
                                              AXProbe::TypingTarget::yes, std::nullopt, keyWindow);
    }
    typingBuffer_.append(characters);
    typedText_.type(characters);
}

void Recorder::screenUnrecordedTyping(std::string_view characters) {
    typedText_.breakEntry();
    for (std::size_t at = 0; at < characters.size();) {
        const std::size_t length = text::utf8::decode(characters, at).length;
        typedText_.type(characters.substr(at, length));
        at += length;
    }
    typedText_.breakEntry();
}

void Recorder::flushTyping() {
    typedText_.breakEntry();
    if (typingBuffer_.empty()) return;
    std::string text = typingBuffer_.take();
    typingTargetSig_.reset();
    emit("type", std::nullopt, std::optional<std::string>(std::move(text)));
    typingDescription_.reset();
    typingPointer_.reset();
    wipeString(text);
}

void Recorder::dropTyping() {
    typingBuffer_.drop();
    typingTargetSig_.reset();
    typingDescription_.reset();
    typingPointer_.reset();
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
    dropTyping();
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
