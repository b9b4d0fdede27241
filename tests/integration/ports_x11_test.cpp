// The X11 ports on a real X server: the clipboard against an owner run by the test, and input
// through the GLib loop driven by xdotool (XTEST).
#include "platform/linux/glib_event_loop.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/xfixes_pasteboard.h"
#include "tests/integration/time_scale.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <glib.h>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

// Owns CLIPBOARD and answers requests for its text from a thread of its own: at once, in INCR
// pieces of `piece` bytes when the text is longer, or, when deferred, at releaseDeferred().
// `beforeAnswer` runs on the owner's thread before each answer.
class ClipboardOwner {
public:
    explicit ClipboardOwner(std::string text, std::size_t piece = 1 << 20, bool deferred = false,
                            std::function<void()> beforeAnswer = {})
        : x_(x11::Connection::open()), text_(std::move(text)), piece_(piece), deferred_(deferred),
          beforeAnswer_(std::move(beforeAnswer)) {
        window_ = xcb_generate_id(x_->xcb());
        xcb_create_window(x_->xcb(), XCB_COPY_FROM_PARENT, window_, x_->root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        x_->internAtoms({"CLIPBOARD", "UTF8_STRING", "INCR"});
        xcb_set_selection_owner(x_->xcb(), window_, x_->atom("CLIPBOARD"), XCB_CURRENT_TIME);
        x_->sync();
        thread_ = std::thread([this] { serve(); });
    }
    ~ClipboardOwner() { vanish(); }
    /// Answers the request held back in deferred mode; returns once the server has the answer.
    void releaseDeferred() {
        std::promise<void> done;
        released_ = &done;
        release_ = true;
        done.get_future().wait();
    }
    /// Ends ownership by destroying the owner's window.
    void vanish() {
        if (stop_.exchange(true)) return;
        thread_.join();
        xcb_destroy_window(x_->xcb(), window_);
        x_->sync();
    }

private:
    void serve() {
        while (!stop_) {
            pollfd fd{x_->fileDescriptor(), POLLIN, 0};
            poll(&fd, 1, 20);
            if (release_.exchange(false)) {
                if (held_) answer(*held_);
                x_->sync();
                released_->set_value();
            }
            while (auto* raw = xcb_poll_for_event(x_->xcb())) {
                x11::Reply<xcb_generic_event_t> event(raw);
                const auto type = event->response_type & 0x7f;
                const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(raw);
                if (type == XCB_SELECTION_REQUEST && deferred_) held_ = *request;
                if (type == XCB_SELECTION_REQUEST && !deferred_) {
                    if (beforeAnswer_) beforeAnswer_();
                    answer(*request);
                }
                if (type == XCB_PROPERTY_NOTIFY)
                    pieceTaken(reinterpret_cast<xcb_property_notify_event_t&>(*event));
            }
        }
    }
    void answer(const xcb_selection_request_event_t& r) {
        xcb_connection_t* c = x_->xcb();
        if (text_.size() > piece_) {
            const auto size = static_cast<std::uint32_t>(text_.size());
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, r.requestor, XCB_CW_EVENT_MASK, &mask);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, r.requestor, r.property, x_->atom("INCR"),
                                32, 1, &size);
            incr_ = r;
            sent_ = 0;
        } else {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, r.requestor, r.property,
                                x_->atom("UTF8_STRING"), 8,
                                static_cast<std::uint32_t>(text_.size()), text_.data());
        }
        const xcb_selection_notify_event_t notify{
            XCB_SELECTION_NOTIFY, 0, 0, r.time, r.requestor, r.selection, r.target, r.property};
        xcb_send_event(c, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    }
    void pieceTaken(const xcb_property_notify_event_t& p) {
        // sent_ passes the text's size once the closing empty piece has gone out.
        if (!incr_ || p.window != incr_->requestor || p.atom != incr_->property ||
            p.state != XCB_PROPERTY_DELETE || sent_ > text_.size())
            return;
        const std::size_t n = std::min(piece_, text_.size() - sent_);
        xcb_change_property(x_->xcb(), XCB_PROP_MODE_REPLACE, incr_->requestor, incr_->property,
                            x_->atom("UTF8_STRING"), 8, static_cast<std::uint32_t>(n),
                            text_.data() + sent_);
        sent_ += n == 0 ? 1 : n;
        xcb_flush(x_->xcb());
    }

    std::unique_ptr<x11::Connection> x_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::string text_;
    std::size_t piece_;
    bool deferred_;
    std::function<void()> beforeAnswer_;
    std::optional<xcb_selection_request_event_t> held_, incr_;
    std::size_t sent_ = 0;
    std::atomic<bool> release_{false}, stop_{false};
    std::promise<void>* released_ = nullptr;
    std::thread thread_;
};

TEST(ClipboardPort, CountsEachOwnerChangeReadsTheTextRepairedInPiecesAndGivesUpOnSilentOwners) {
    XfixesPasteboard pasteboard;
    const auto start = pasteboard.changeCount();
    EXPECT_EQ(pasteboard.changeCount(), start); // reading changes nothing
    {
        ClipboardOwner first("one"), second("two"), third("three");
        EXPECT_EQ(pasteboard.changeCount(), start + 3); // changes between reads all count
        third.vanish();
        EXPECT_EQ(pasteboard.changeCount(), start + 4); // the owner went away
        EXPECT_FALSE(pasteboard.plainText().has_value());
    }
    std::string big;
    for (int i = 0; big.size() < 300'000; ++i)
        big += "line " + std::to_string(i) + "\n";
    // owner's text; largest piece the owner sends at once; text read
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"コピー and paste ✓", 1 << 20, "コピー and paste ✓"},
        {std::string("ok\xff\xfe", 4), 1 << 20, "ok\xef\xbf\xbd\xef\xbf\xbd"},
        {big, 64 * 1024, big},
    };
    for (const auto& [text, piece, expected] : cases) {
        ClipboardOwner owner(text, piece);
        EXPECT_EQ(pasteboard.plainText(), expected);
        EXPECT_EQ(pasteboard.plainText(), expected); // the owner keeps it
    }

    const auto beforeSlow = pasteboard.changeCount();
    ClipboardOwner slow("stale", 1 << 20, true);
    EXPECT_FALSE(pasteboard.plainText().has_value());    // the owner keeps the request
    EXPECT_EQ(pasteboard.changeCount(), beforeSlow + 1); // the change during the wait is not lost
    // The next owner lets the first answer its old request before answering itself, so the
    // stale answer reaches the pasteboard first.
    ClipboardOwner fresh("fresh", 1 << 20, false, [&slow] { slow.releaseDeferred(); });
    EXPECT_EQ(pasteboard.plainText(), "fresh");
}

TEST(InputPort, WheelAndMiddleButtonsAreNoClicksAndQuickPressesCount) {
    GlibEventLoop loop(x11::Connection::open(), X11InputThread::Presses::unheld);
    std::vector<InputEvent> events;
    ASSERT_TRUE(loop.installEventTap(0x40A, // left down, right down, key down
                                     [&](const InputEvent& e) { events.push_back(e); }));
    ASSERT_EQ(std::system("xdotool mousemove 300 300 click 4 click 5 click 2 "
                          "click --repeat 2 --delay 60 1 click 3 key z"),
              0);
    // The key comes last: all that came before has arrived by then. The guard only stops a
    // broken test from hanging.
    const auto guard = std::chrono::steady_clock::now() + scaledSeconds(30);
    const guint tick = g_timeout_add(20, [](gpointer) { return gboolean{G_SOURCE_CONTINUE}; }, {});
    while ((events.empty() || events.back().characters != u"z") &&
           std::chrono::steady_clock::now() < guard)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    std::vector<std::pair<std::uint32_t, std::int64_t>> seen;
    for (const auto& e : events)
        seen.emplace_back(e.type, e.type == 1 ? e.clickState : 0);
    EXPECT_EQ(seen, (decltype(seen){{1, 1}, {1, 2}, {3, 0}, {10, 0}}));
}

} // namespace
