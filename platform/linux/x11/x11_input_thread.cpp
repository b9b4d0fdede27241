#include "platform/linux/x11/x11_input_thread.h"

#include "platform/linux/x11/xrandr_screens.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <utility>

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Root-window pixels to points from the primary monitor's top-left corner, as XrandrScreens
// places its mouse location (there with y flipped).
Xi2Input::PointerPlacement placementOn(std::shared_ptr<x11::Connection> connection) {
    auto screens = std::make_shared<XrandrScreens>(std::move(connection));
    return [screens](double rootX, double rootY) -> std::optional<geo::Point> {
        const auto scale = screens->mainBackingScaleFactor();
        const auto monitors = screens->monitorPixels();
        if (!scale || monitors.empty()) return std::nullopt;
        return geo::Point{(rootX - monitors.front().x) / *scale,
                          (rootY - monitors.front().y) / *scale};
    };
}

} // namespace

std::unique_ptr<X11InputThread> X11InputThread::start(std::unique_ptr<Clock> clock) {
    std::shared_ptr<x11::Connection> connection = x11::Connection::open();
    if (!connection) return nullptr;
    auto input = Xi2Input::create(*connection, placementOn(connection));
    if (!input) return nullptr;
    std::unique_ptr<X11InputThread> reader(
        new X11InputThread(connection, std::move(input), std::move(clock)));
    if (reader->ready_.descriptor() < 0 || reader->stop_.descriptor() < 0 ||
        reader->released_.descriptor() < 0)
        return nullptr;
    // Without the hold every press still arrives, only unheld.
    reader->hold_ = PressHold::create(*connection);
    reader->thread_ = std::thread([raw = reader.get()] { raw->read(); });
    return reader;
}

X11InputThread::X11InputThread(std::shared_ptr<x11::Connection> connection,
                               std::unique_ptr<Xi2Input> input, std::unique_ptr<Clock> clock)
    : connection_(std::move(connection)), input_(std::move(input)), clock_(std::move(clock)) {
    // Every type is decoded; the main thread chooses what to deliver.
    input_->setTap(~std::uint64_t{0}, [this](const InputEvent& event) { post(event); });
    input_->setHotkeyHandler([this](const HotkeyEvent& event) { post(event); });
}

X11InputThread::~X11InputThread() {
    if (thread_.joinable()) {
        stop_.signal();
        thread_.join();
    }
}

std::vector<InputDelivery> X11InputThread::take() {
    ready_.clear(); // before the swap: a later post signals again
    std::lock_guard lock(mutex_);
    takenPressTime_ = postedPressTime_;
    return std::exchange(waiting_, {});
}

void X11InputThread::release() {
    if (!hold_ || !takenPressTime_) return;
    releaseUpTo_.store(*takenPressTime_);
    releaseAsked_.store(true);
    released_.signal();
}

void X11InputThread::post(InputDelivery delivery) {
    const auto* event = std::get_if<InputEvent>(&delivery);
    const bool press = event != nullptr && (event->type == 1 || event->type == 3);
    {
        std::lock_guard lock(mutex_);
        if (press) postedPressTime_ = input_->lastPressTime();
        waiting_.push_back(std::move(delivery));
    }
    ready_.signal();
}

void X11InputThread::applyReleases() {
    if (!hold_) return;
    released_.clear();
    if (releaseAsked_.load()) hold_->releaseUpTo(releaseUpTo_.load());
    hold_->expire(steadyMs());
}

bool X11InputThread::drain() {
    // A reply awaited inside the decoder may read further events into xcb's queue; polling
    // returns those before it reads the socket again, so the loop ends with both empty.
    while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->xcb())}) {
        if (hold_ && hold_->take(*event, steadyMs())) continue;
        input_->handle(*event, clock_->nowMs());
    }
    return !connection_->broken();
}

void X11InputThread::read() {
    while (drain()) {
        applyReleases();
        connection_->flush();
        pollfd watched[3] = {{connection_->fileDescriptor(), POLLIN, 0},
                             {stop_.descriptor(), POLLIN, 0},
                             {released_.descriptor(), POLLIN, 0}};
        // Asleep until input comes, unless a held press must be let go in time.
        const auto expiry = hold_ ? hold_->msUntilExpiry(steadyMs()) : std::nullopt;
        if (::poll(watched, 3, expiry.value_or(-1)) < 0 && errno != EINTR) break;
        if (watched[1].revents != 0) return;
    }
    post(InputDisplayLost{});
}
