// The one object that owns a recording episode.
#pragma once

#include "platform/accessibility.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/geometry.h"
#include "platform/pasteboard.h"
#include "platform/screens.h"
#include "platform/workspace.h"
#include "recorder/ax_probe.h"
#include "recorder/records.h"
#include "recorder/typed_elements.h"
#include "recorder/typed_text_screen.h"
#include "recorder/typing_buffer.h"
#include "recorder/web_area_cache.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ScreenShooter;

/// Where and when the input event behind an operation happened, as its tap saw it. Absent
/// parts are read when the operation is recorded.
struct EventMoment {
    std::optional<geo::Point> location;        ///< global, top-left origin of the main screen
    std::optional<std::int64_t> timestampMs;   ///< on the clock's scale
    std::optional<std::uint32_t> windowNumber; ///< under the pointer, or active for a key
};

/// The ports the recorder reads. All references outlive the recorder.
struct RecorderPorts {
    Clock& clock;
    Workspace& workspace;
    Screens& screens;
    Pasteboard& pasteboard;
    Accessibility& accessibility;
    EventLoop& eventLoop;   ///< delayed main-thread tasks (result frames)
    ScreenShooter& shooter; ///< before- and after-frames
};

/// Everything runs on the main thread; only the screenshot worker (inside the shooter) does
/// not, and it never touches the recorder.
class Recorder {
public:
    /// Seconds from an action to its result frame.
    static constexpr double resultFrameDelaySeconds = 0.45;

    explicit Recorder(const RecorderPorts& ports);
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder();

    /// The process's recorder, created from `ports` on first use.
    static Recorder& shared(const RecorderPorts& ports);

    /// Records one operation: the before-frame's pixels are taken first, then the target under
    /// the event's pointer position is probed; a press the platform holds goes on after that.
    /// The open typing run, which the operation ends, is written next, before the operation's
    /// frame and record.
    void emit(const std::string& kind, std::optional<std::string> key,
              std::optional<std::string> precomputedTypingText, const EventMoment& moment = {});
    /// Adds to the open typing run, which is described by the keyboard focus at its first key
    /// (pressed in the window `keyWindow`, when known).
    void appendTyping(std::string_view characters, std::optional<std::string> targetSig,
                      std::optional<std::uint32_t> keyWindow = std::nullopt);
    /// The application a key pressed while the window `keyWindow` was active went to: that
    /// window's owner while the window server knows it, else the application in front now.
    std::optional<RunningApplication> keyboardApplication(std::optional<std::uint32_t> keyWindow);
    /// Records the open typing run, if any.
    void flushTyping();
    /// Characters of key presses that were never recorded (left out while input waited too
    /// long): only the typed-text screen learns them, so nothing written later shows them.
    void screenUnrecordedTyping(std::string_view characters);
    static std::string classifyInput(std::string_view text);
    void togglePause();
    void finalizeEpisode(const std::string& status);

    void pollFocus();
    void flushFocus(std::int64_t now);
    void pollClipboard();

    /// Takes the "after" frame and writes the "result" record for `refSeq` 0.45 s after
    /// `actionMs` (at once when that has passed), unless by then the recorder is gone, the
    /// episode has changed or recording is paused.
    void scheduleResultFrame(std::int64_t refSeq, std::int64_t actionMs);

    const std::string& episodeId() const;
    std::int64_t seq() const;
    bool paused() const;
    const EpisodeMeta& meta() const;

    /// Replaces the episode identifier, as a new episode would; lets tests show that tasks
    /// scheduled for an earlier episode are dropped.
    void setEpisodeIdForTesting(std::string episodeId);

private:
    /// Pointer and main-screen geometry of one moment.
    struct PointerView {
        geo::Point topLeft;    ///< points, top-left origin of the main screen
        geo::Point normalised; ///< fractions of the main screen (raw values without a screen)
    };

    /// What an operation is described by: the application, the element and the page.
    struct Description {
        std::optional<RunningApplication> app;
        std::optional<AXTarget> target;
        std::optional<std::string> url;
    };

    /// Lets the typed-text screen hold the line being typed where a window title or page
    /// address read now, other than the focus dwell's, shows it.
    void holdTypingShownIn(const std::optional<std::string>& title,
                           const std::optional<std::string>& url);
    PointerView readPointer();
    PointerView pointerAt(geo::Point topLeft);
    /// A pointer operation: the element under the pointer in `owner`'s window `windowNumber`
    /// (the owner of the window there) as it was at the press at `pressAtMs` (when known),
    /// and the page it lies in.
    Description describePointer(const PointerView& pointer,
                                std::optional<std::uint32_t> windowNumber,
                                std::optional<RunningApplication> owner,
                                std::optional<std::int64_t> pressAtMs = std::nullopt);
    /// A keyboard operation: the element with keyboard focus in `front` (the application
    /// that receives the keys, owner of the window `keyWindow` when known) as it was when the
    /// key went down at `keyAtMs` (when known), and the page it lies in.
    Description describeKeyboard(std::optional<RunningApplication> front,
                                 AXProbe::TypingTarget typing = AXProbe::TypingTarget::no,
                                 std::optional<std::int64_t> keyAtMs = std::nullopt,
                                 std::optional<std::uint32_t> keyWindow = std::nullopt);
    /// A record of `kind` with its episode, application, page, target and pointer.
    ActionRecord describedRecord(const std::string& kind, Description description,
                                 const PointerView& pointer) const;
    /// Writes the "type" record of a run of `text`.
    void writeTypingRun(std::string_view text);
    void dropTyping();
    /// Stamps `record` with the moment it describes, `momentMs` (never before the previous
    /// record's), and its distance from the previous record; screens its texts, writes it and
    /// counts it.
    void write(ActionRecord& record, std::int64_t momentMs);
    void runResultFrame(std::int64_t refSeq);

    RecorderPorts ports_;

    EpisodeMeta meta_;
    std::string episodeId_;
    std::int64_t seq_ = 0;
    std::optional<std::int64_t> lastTimestampMs_; ///< of the previous record of any kind
    bool paused_ = false;
    static constexpr bool captureValues = false;
    static constexpr bool captureOCR = false;

    std::int64_t lastClipboardChangeCount_ = 0;
    std::optional<std::string> lastCopyApp_;
    std::optional<std::int64_t> lastCopyCharCount_;

    TypingBuffer typingBuffer_;
    std::optional<std::string> typingTargetSig_;
    std::optional<Description> typingDescription_; ///< read at the open run's first key
    std::optional<PointerView> typingPointer_;
    /// Everything typed or copied in this episode, paused or not, permitted or not.
    TypedTextScreen typedText_{TypedTextScreen::freshKey()};
    /// Elements typing runs went to: their own text names nothing.
    TypedElements typedElements_;

    std::optional<std::string> focusApp_;
    std::optional<std::string> focusBundle_;
    std::optional<std::string> focusWindow_;
    std::optional<std::string> focusUrl_;
    std::int64_t focusEnterMs_ = 0;

    /// Windows the page-address search found no web area in.
    WebAreaCache webAreas_;

    /// Delayed tasks hold this weakly: once the recorder is gone they do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
