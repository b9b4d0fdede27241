#include "platform/linux/glib_event_loop.h"

#include "common/secure_wipe.h"
#include "common/unicode_text.h"
#include "platform/linux/system_clock.h"
#include "platform/posix/interrupt_pipe.h"

#include <algorithm>
#include <cmath>
#include <glib-unix.h>
#include <glib.h>
#include <sys/ioctl.h>

namespace {

using Action = std::function<void()>;

guint milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return static_cast<guint>(std::min(std::llround(seconds * 1000.0), 0x7fffffffLL));
}

void deleteAction(gpointer data) {
    delete static_cast<Action*>(data);
}

gboolean repeatAction(gpointer data) {
    (*static_cast<Action*>(data))();
    return G_SOURCE_CONTINUE;
}

gboolean runOnce(gpointer data) {
    (*static_cast<Action*>(data))();
    return G_SOURCE_REMOVE;
}

GSource* descriptorSource(int fd, GIOCondition condition, GUnixFDSourceFunc ready, gpointer data) {
    GSource* source = g_unix_fd_source_new(fd, condition);
    g_source_set_priority(source, G_PRIORITY_HIGH);
    g_source_set_callback(
        source, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(ready)), data, nullptr);
    return source;
}

constexpr auto hangUp = static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR | G_IO_NVAL);

} // namespace

// The parent's two pipes. Standard input is only looked at, never read: a byte waiting there
// answers the next permission request.
struct GlibEventLoop::ParentWatch {
    GlibEventLoop* loop;
    std::optional<int> inputFd;
    std::function<void(ParentGone)> handler;
    bool gone = false;

    void end(ParentGone how) {
        if (gone) return;
        gone = true;
        handler(how);
    }

    void watchInput() {
        if (gone || !inputFd) return;
        constexpr auto condition = static_cast<GIOCondition>(G_IO_IN | hangUp);
        loop->attach(descriptorSource(*inputFd, condition, inputReady, this));
    }

    static gboolean outputReady(gint, GIOCondition, gpointer data) {
        static_cast<ParentWatch*>(data)->end(ParentGone::outputClosed);
        return G_SOURCE_REMOVE;
    }

    static gboolean inputReady(gint fd, GIOCondition condition, gpointer data) {
        auto& watch = *static_cast<ParentWatch*>(data);
        int waiting = 0;
        if ((condition & hangUp) != 0) {
            watch.end(ParentGone::inputEnded);
        } else if (::ioctl(fd, FIONREAD, &waiting) != 0) {
            // No way to tell the end from a byte without reading it: leave it to the requests.
        } else if (waiting == 0) {
            watch.end(ParentGone::inputEnded); // readable with nothing to read: the end
        } else {
            // Answers sent ahead of their requests: look again once requests may have taken
            // them, rather than wake for them over and over.
            watch.loop->runAfter(0.5, [&watch] { watch.watchInput(); });
        }
        return G_SOURCE_REMOVE;
    }
};

GlibEventLoop::GlibEventLoop(std::shared_ptr<x11::Connection> display,
                             X11InputThread::Presses presses)
    : display_(std::move(display)), presses_(presses), loop_(g_main_loop_new(nullptr, FALSE)) {}

GlibEventLoop::~GlibEventLoop() {
    for (GSource* source : sources_) {
        g_source_destroy(source);
        g_source_unref(source);
    }
    g_main_loop_unref(loop_);
}

bool GlibEventLoop::startInput() {
    if (!inputTried_ && display_) {
        inputTried_ = true;
        input_ = X11InputThread::start(std::make_unique<SystemClock>(), presses_);
        if (input_) {
            GSource* source = g_unix_fd_source_new(input_->readyDescriptor(), G_IO_IN);
            const auto ready = [](gint, GIOCondition, gpointer data) -> gboolean {
                static_cast<GlibEventLoop*>(data)->deliverInput();
                return G_SOURCE_CONTINUE;
            };
            g_source_set_callback(source,
                                  reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(
                                      static_cast<GUnixFDSourceFunc>(ready))),
                                  this, nullptr);
            attach(source);
        }
    }
    return input_ != nullptr;
}

void GlibEventLoop::deliverInput() {
    X11InputThread::Taken taken = input_->take();
    if (taken.dropped > 0) {
        // Told before the events kept are handled: those are older, but what is read for them
        // now may already show the text of the keys left out.
        std::string text = text::utf16ToUtf8(taken.droppedCharacters);
        wipeMemory(taken.droppedCharacters.data(),
                   taken.droppedCharacters.size() * sizeof(char16_t));
        if (inputDropped_) inputDropped_(taken.dropped, text);
        wipeString(text);
    }
    for (const InputDelivery& delivery : taken.deliveries) {
        if (const auto* event = std::get_if<InputEvent>(&delivery)) {
            if (tap_ && (tapMask_ & (std::uint64_t{1} << event->type)) != 0) tap_(*event);
            // Whatever the tap made of it, a held press goes on once the tap is done.
            input_->release();
        } else if (const auto* hotkey = std::get_if<HotkeyEvent>(&delivery)) {
            if (hotkeys_) hotkeys_(*hotkey);
        } else if (displayLost_) {
            displayLost_();
        }
    }
    // Presses left out of the queue are released too.
    input_->release();
}

void GlibEventLoop::releaseHeldInput() {
    if (input_) input_->release();
}

bool GlibEventLoop::installEventTap(std::uint64_t mask,
                                    std::function<void(const InputEvent&)> callback) {
    if (!startInput()) return false;
    tapMask_ = mask;
    tap_ = std::move(callback);
    return true;
}

void GlibEventLoop::addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) {
    if (startInput()) hotkeys_ = std::move(handler);
}

void GlibEventLoop::attach(GSource* source) {
    // Forget one-shot sources that have already run.
    std::erase_if(sources_, [](GSource* s) {
        if (!g_source_is_destroyed(s)) return false;
        g_source_unref(s);
        return true;
    });
    g_source_attach(source, nullptr);
    sources_.push_back(source);
}

void GlibEventLoop::addRepeatingTimer(double intervalSeconds, std::function<void()> action) {
    GSource* source = g_timeout_source_new(std::max(milliseconds(intervalSeconds), 1u));
    g_source_set_callback(source, repeatAction, new Action(std::move(action)), deleteAction);
    attach(source);
}

void GlibEventLoop::runAfter(double delaySeconds, std::function<void()> task) {
    GSource* source = g_timeout_source_new(milliseconds(delaySeconds));
    g_source_set_callback(source, runOnce, new Action(std::move(task)), deleteAction);
    attach(source);
}

void GlibEventLoop::onInterrupt(std::function<void()> handler) {
    // The handler replaces the default action (terminate), so Ctrl+C reaches only `handler`;
    // signals that come before it runs leave one byte each, all taken at once.
    interrupt_ = std::make_unique<InterruptPipe>();
    if (interrupt_->readDescriptor() < 0) return;
    struct Delivery {
        const InterruptPipe* pipe;
        Action handler;
    };
    GSource* source = g_unix_fd_source_new(interrupt_->readDescriptor(), G_IO_IN);
    g_source_set_priority(source, G_PRIORITY_HIGH);
    const auto deliver = [](gint, GIOCondition, gpointer data) -> gboolean {
        auto& delivery = *static_cast<Delivery*>(data);
        delivery.pipe->drain();
        delivery.handler();
        return G_SOURCE_CONTINUE;
    };
    g_source_set_callback(source,
                          reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(
                              static_cast<GUnixFDSourceFunc>(deliver))),
                          new Delivery{interrupt_.get(), std::move(handler)},
                          [](gpointer data) { delete static_cast<Delivery*>(data); });
    attach(source);
}

std::optional<int> GlibEventLoop::interruptDescriptor() const {
    if (!interrupt_ || interrupt_->readDescriptor() < 0) return std::nullopt;
    return interrupt_->readDescriptor();
}

void GlibEventLoop::onParentGone(int outputFd, std::optional<int> inputFd,
                                 std::function<void(ParentGone)> handler) {
    parent_ = std::make_unique<ParentWatch>(ParentWatch{this, inputFd, std::move(handler)});
    // A pipe whose reader is gone reports an error, a terminal that hung up a hang-up.
    attach(descriptorSource(outputFd, hangUp, ParentWatch::outputReady, parent_.get()));
    parent_->watchInput();
}

void GlibEventLoop::onDisplayLost(std::function<void()> handler) {
    displayLost_ = std::move(handler);
}

void GlibEventLoop::onInputDropped(
    std::function<void(std::int64_t count, std::string_view droppedText)> handler) {
    inputDropped_ = std::move(handler);
}

void GlibEventLoop::run() {
    g_main_loop_run(loop_);
}

void GlibEventLoop::quit() {
    g_main_loop_quit(loop_);
}
