#include "platform/linux/glib_event_loop.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <glib-unix.h>
#include <glib.h>

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

// A GSource on the X connection. xcb may read events into its own queue while another
// request waits for its reply, leaving the socket quiet; prepare() therefore looks into
// that queue too, so no event waits for the next wake-up.
struct DisplaySource {
    GSource base;
    x11::Connection* connection;
    Xi2Input* input; // the loop's input decoder
    gpointer fdTag;
    x11::Reply<xcb_generic_event_t> pending;
};

void deliver(DisplaySource& source, x11::Reply<xcb_generic_event_t> event) {
    if (event && source.input != nullptr) source.input->handle(*event);
}

gboolean displayPrepare(GSource* base, gint* timeout) {
    auto& source = *reinterpret_cast<DisplaySource*>(base);
    *timeout = -1;
    source.connection->flush();
    if (!source.pending) source.pending.reset(xcb_poll_for_queued_event(source.connection->xcb()));
    return source.pending != nullptr || source.connection->broken();
}

gboolean displayCheck(GSource* base) {
    auto& source = *reinterpret_cast<DisplaySource*>(base);
    const GIOCondition ready = g_source_query_unix_fd(base, source.fdTag);
    return source.pending != nullptr || ready != 0 || source.connection->broken();
}

gboolean displayDispatch(GSource* base, GSourceFunc, gpointer) {
    auto& source = *reinterpret_cast<DisplaySource*>(base);
    deliver(source, std::move(source.pending));
    xcb_connection_t* c = source.connection->xcb();
    while (auto* event = xcb_poll_for_event(c))
        deliver(source, x11::Reply<xcb_generic_event_t>(event));
    // A closed display would wake the loop forever; input simply stops.
    return source.connection->broken() ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

void displayFinalize(GSource* base) {
    auto& source = *reinterpret_cast<DisplaySource*>(base);
    source.pending.~unique_ptr();
}

GSourceFuncs displayFuncs{displayPrepare,  displayCheck, displayDispatch,
                          displayFinalize, nullptr,      nullptr};

} // namespace

GlibEventLoop::GlibEventLoop(std::shared_ptr<x11::Connection> display)
    : display_(std::move(display)), loop_(g_main_loop_new(nullptr, FALSE)) {
    if (!display_) return;
    GSource* base = g_source_new(&displayFuncs, sizeof(DisplaySource));
    auto* source = reinterpret_cast<DisplaySource*>(base);
    source->connection = display_.get();
    source->input = nullptr;
    new (&source->pending) x11::Reply<xcb_generic_event_t>();
    source->fdTag = g_source_add_unix_fd(base, display_->fileDescriptor(),
                                         static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    displaySource_ = base;
}

GlibEventLoop::~GlibEventLoop() {
    for (GSource* source : sources_) {
        g_source_destroy(source);
        g_source_unref(source);
    }
    if (displaySource_ != nullptr) {
        g_source_destroy(displaySource_);
        g_source_unref(displaySource_);
    }
    g_main_loop_unref(loop_);
}

Xi2Input* GlibEventLoop::input() {
    if (!inputTried_ && display_) {
        inputTried_ = true;
        input_ = Xi2Input::create(*display_);
        if (input_) {
            // Nothing else selects events on this connection, so it is watched only now.
            reinterpret_cast<DisplaySource*>(displaySource_)->input = input_.get();
            g_source_attach(displaySource_, nullptr);
        }
    }
    return input_.get();
}

bool GlibEventLoop::installEventTap(std::uint64_t mask,
                                    std::function<void(const InputEvent&)> callback) {
    Xi2Input* decoder = input();
    if (decoder == nullptr) return false;
    decoder->setTap(mask, std::move(callback));
    return true;
}

void GlibEventLoop::addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) {
    if (Xi2Input* decoder = input()) decoder->setHotkeyHandler(std::move(handler));
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
    // GLib's own SIGINT handler replaces the default action (terminate) and wakes the loop,
    // so Ctrl+C reaches only this handler. Setting SIG_IGN afterwards would remove it.
    GSource* source = g_unix_signal_source_new(SIGINT);
    g_source_set_priority(source, G_PRIORITY_HIGH);
    g_source_set_callback(source, repeatAction, new Action(std::move(handler)), deleteAction);
    attach(source);
}

void GlibEventLoop::run() {
    g_main_loop_run(loop_);
}

void GlibEventLoop::quit() {
    g_main_loop_quit(loop_);
}
