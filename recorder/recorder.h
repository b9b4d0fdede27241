// The one object that owns a recording episode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/accessibility.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/pasteboard.h"
#include "platform/screens.h"
#include "platform/workspace.h"
#include "recorder/records.h"

class ScreenShooter;

/// The ports the recorder reads. All references outlive the recorder.
struct RecorderPorts {
    Clock& clock;
    Workspace& workspace;
    Screens& screens;
    Pasteboard& pasteboard;
    Accessibility& accessibility;
    EventLoop& eventLoop;     ///< delayed main-thread tasks (result frames)
    ScreenShooter& shooter;   ///< before- and after-frames
};

class Recorder {
public:
    explicit Recorder(const RecorderPorts& ports);
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    /// The process's recorder, created from `ports` on first use.
    static Recorder& shared(const RecorderPorts& ports);

    void emit(const std::string& kind, std::optional<std::string> key,
              std::optional<std::string> precomputedTypingText);
    void appendTyping(std::string_view characters, std::optional<std::string> targetSig);
    void flushTyping();
    static std::string classifyInput(std::string_view text);
    void togglePause();
    void finalizeEpisode(const std::string& status);

    void pollFocus();
    void flushFocus(std::int64_t now);
    void pollClipboard();

    const std::string& episodeId() const;
    std::int64_t seq() const;
    bool paused() const;
    const EpisodeMeta& meta() const;

    // (further members are the implementation's)
};
