// The clipboard port against a clipboard owner run by the test on its own connection.
#include "platform/linux/xfixes_pasteboard.h"
#include "ports_support.h"

#include <atomic>
#include <functional>
#include <future>
#include <optional>
#include <poll.h>
#include <thread>

namespace {

// Owns CLIPBOARD and answers UTF8_STRING requests from a thread of its own: at once, in
// INCR pieces of `piece` bytes when the text is longer than that, or when another thread
// calls releaseDeferred() (deferred). `beforeAnswer` runs on the owner's
// thread before each answer.
class ClipboardOwner {
public:
    enum class Mode { answer, deferred };

    explicit ClipboardOwner(std::string text, Mode mode = Mode::answer, std::size_t piece = 1 << 20,
                            std::function<void()> beforeAnswer = {})
        : x_(x11::Connection::open()), text_(std::move(text)), mode_(mode), piece_(piece),
          beforeAnswer_(std::move(beforeAnswer)) {
        xcb_connection_t* c = x_->xcb();
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, x_->root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        x_->internAtoms({"CLIPBOARD", "UTF8_STRING", "INCR"});
        xcb_set_selection_owner(c, window_, x_->atom("CLIPBOARD"), XCB_CURRENT_TIME);
        x_->sync();
        thread_ = std::thread([this] { serve(); });
    }
    ~ClipboardOwner() {
        stop_ = true;
        thread_.join();
    }
    /// Answers the request held back in deferred mode; returns once the server has the answer.
    void releaseDeferred() {
        std::promise<void> done;
        auto answered = done.get_future();
        released_ = &done;
        release_ = true;
        answered.wait();
    }
    /// Ends ownership by destroying the owner's window.
    void vanish() {
        stop_ = true;
        thread_.join();
        xcb_destroy_window(x_->xcb(), window_);
        x_->sync();
        thread_ = std::thread([] {});
    }

private:
    void serve() {
        xcb_connection_t* c = x_->xcb();
        while (!stop_) {
            pollfd fd{x_->fileDescriptor(), POLLIN, 0};
            poll(&fd, 1, 20);
            if (release_.exchange(false)) {
                if (held_) answer(*held_);
                x_->sync();
                released_->set_value();
            }
            while (auto* raw = xcb_poll_for_event(c)) {
                x11::Reply<xcb_generic_event_t> event(raw);
                const auto type = event->response_type & 0x7f;
                if (type == XCB_SELECTION_REQUEST)
                    request(reinterpret_cast<xcb_selection_request_event_t&>(*event));
                if (type == XCB_PROPERTY_NOTIFY)
                    pieceTaken(reinterpret_cast<xcb_property_notify_event_t&>(*event));
            }
        }
    }
    void request(const xcb_selection_request_event_t& r) {
        if (mode_ == Mode::deferred) {
            held_ = r;
            return;
        }
        if (beforeAnswer_) beforeAnswer_();
        answer(r);
    }
    void answer(const xcb_selection_request_event_t& r) {
        xcb_connection_t* c = x_->xcb();
        xcb_atom_t property = r.property;
        if (r.target != x_->atom("UTF8_STRING")) {
            property = XCB_ATOM_NONE;
        } else if (text_.size() > piece_) {
            const std::uint32_t size = static_cast<std::uint32_t>(text_.size());
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, r.requestor, XCB_CW_EVENT_MASK, &mask);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, r.requestor, r.property, x_->atom("INCR"),
                                32, 1, &size);
            incrWindow_ = r.requestor;
            incrProperty_ = r.property;
            sent_ = 0;
        } else {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, r.requestor, r.property,
                                x_->atom("UTF8_STRING"), 8,
                                static_cast<std::uint32_t>(text_.size()), text_.data());
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = r.time;
        notify.requestor = r.requestor;
        notify.selection = r.selection;
        notify.target = r.target;
        notify.property = property;
        xcb_send_event(c, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    }
    void pieceTaken(const xcb_property_notify_event_t& p) {
        if (p.window != incrWindow_ || p.atom != incrProperty_ || p.state != XCB_PROPERTY_DELETE)
            return;
        if (sent_ > text_.size()) return; // the closing empty piece went out already
        const std::size_t n = std::min(piece_, text_.size() - sent_);
        xcb_change_property(x_->xcb(), XCB_PROP_MODE_REPLACE, incrWindow_, incrProperty_,
                            x_->atom("UTF8_STRING"), 8, static_cast<std::uint32_t>(n),
                            text_.data() + sent_);
        sent_ += n == 0 ? 1 : n;
        xcb_flush(x_->xcb());
    }

    std::unique_ptr<x11::Connection> x_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::string text_;
    Mode mode_;
    std::size_t piece_;
    xcb_window_t incrWindow_ = XCB_WINDOW_NONE;
    xcb_atom_t incrProperty_ = XCB_ATOM_NONE;
    std::size_t sent_ = 0;
    std::function<void()> beforeAnswer_;
    std::optional<xcb_selection_request_event_t> held_;
    std::atomic<bool> release_{false};
    std::promise<void>* released_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(ClipboardPort, CountsEachOwnerChangeAndHasNoTextWithoutAnOwner) {
    XfixesPasteboard pasteboard;
    const auto start = pasteboard.changeCount();
    EXPECT_EQ(pasteboard.changeCount(), start); // reading changes nothing
    ClipboardOwner first("one");
    EXPECT_EQ(pasteboard.changeCount(), start + 1);
    ClipboardOwner second("two");
    ClipboardOwner third("three");
    EXPECT_EQ(pasteboard.changeCount(), start + 3); // changes between reads all count
    third.vanish();
    EXPECT_EQ(pasteboard.changeCount(), start + 4); // the owner went away
    EXPECT_FALSE(pasteboard.plainText().has_value());
}

TEST(ClipboardPort, ReadsTheOwnersTextRepairedAndInPiecesWhenLong) {
    std::string big;
    for (int i = 0; big.size() < 300'000; ++i)
        big += "line " + std::to_string(i) + "\n";
    // owner's text; largest piece the owner sends at once; text read
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"コピー and paste ✓", 1 << 20, "コピー and paste ✓"},
        {std::string("ok\xff\xfe", 4), 1 << 20, "ok\xef\xbf\xbd\xef\xbf\xbd"},
        {big, 64 * 1024, big},
    };
    XfixesPasteboard pasteboard;
    for (const auto& [text, piece, expected] : cases) {
        ClipboardOwner owner(text, ClipboardOwner::Mode::answer, piece);
        EXPECT_EQ(pasteboard.plainText(), expected);
        EXPECT_EQ(pasteboard.plainText(), expected); // the owner keeps it
    }
}

TEST(ClipboardPort, GivesUpOnAnOwnerThatNeverAnswersAndIgnoresItsLateAnswer) {
    XfixesPasteboard pasteboard;
    const auto start = pasteboard.changeCount();
    ClipboardOwner slow("stale", ClipboardOwner::Mode::deferred);
    EXPECT_FALSE(pasteboard.plainText().has_value()); // the owner keeps the request
    // The owner change that arrived during the wait is not lost.
    EXPECT_EQ(pasteboard.changeCount(), start + 1);
    // The next owner lets the first one answer its old request before answering itself,
    // so the stale answer reaches the pasteboard first.
    ClipboardOwner fresh("fresh", ClipboardOwner::Mode::answer, 1 << 20,
                         [&slow] { slow.releaseDeferred(); });
    EXPECT_EQ(pasteboard.plainText(), "fresh");
}

} // namespace
