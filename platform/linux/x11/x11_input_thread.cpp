#include "platform/linux/x11/x11_input_thread.h"

#include "common/secure_wipe.h"
#include "platform/linux/x11/xrandr_screens.h"

#include <cerrno>
#include <poll.h>
#include <utility>

namespace {

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

std::unique_ptr<X11InputThread> X11InputThread::start(std::unique_ptr<Clock> clock,
                                                      Presses presses) {
    std::shared_ptr<x11::Connection> connection = x11::Connection::open();
    if (!connection) return nullptr;
    auto input = Xi2Input::create(*connection, placementOn(connection));
    if (!input) return nullptr;
    std::unique_ptr<X11InputThread> reader(
        new X11InputThread(connection, std::move(input), std::move(clock)));
    if (reader->ready_.descriptor() < 0 || reader->stop_.descriptor() < 0) return nullptr;
    // Raw presses are selected by now, so the recorder sees every press the keeper holds.
    // Without the keeper every press still arrives, only unheld.
    if (presses == Presses::held) reader->hold_ = PressHoldLink::start();
    reader->thread_ = std::thread([raw = reader.get()] { raw->read(); });
    return reader;
}

X11InputThread::X11InputThread(std::shared_ptr<x11::Connection> connection,
                               std::unique_ptr<Xi2Input> input, std::unique_ptr<Clock> clock)
    : connection_(std::move(connection)), input_(std::move(input)), clock_(std::move(clock)) {
    // Every type is decoded; the main thread chooses what to deliver.
    input_->setTap(~std::uint64_t{0}, [this](const InputEvent& event) { post(event); });
    input_->setHotkeyHandler([this](const HotkeyEvent& event) { post(event); });
    droppedCharacters_.reserve(EventLoop::droppedTextLimit);
}

X11InputThread::~X11InputThread() {
    if (thread_.joinable()) {
        stop_.signal();
        thread_.join();
    }
}

X11InputThread::Taken X11InputThread::take() {
    ready_.clear(); // before the swap: a later post signals again
    std::lock_guard lock(mutex_);
    takenPressTime_ = postedPressTime_;
    Taken taken{std::exchange(waiting_, {}), std::exchange(dropped_, 0), droppedCharacters_};
    // Its buffer, reserved once, is wiped and kept: growing it would leave copies behind.
    wipeMemory(droppedCharacters_.data(), droppedCharacters_.size() * sizeof(char16_t));
    droppedCharacters_.clear();
    waitingEvents_ = 0;
    return taken;
}

void X11InputThread::release() {
    if (!hold_ || !takenPressTime_ || takenPressTime_ == releasedPressTime_) return;
    hold_->releaseUpTo(*takenPressTime_);
    releasedPressTime_ = takenPressTime_;
}

void X11InputThread::post(InputDelivery delivery) {
    const auto* event = std::get_if<InputEvent>(&delivery);
    const bool press = event != nullptr && (event->type == 1 || event->type == 3);
    {
        std::lock_guard lock(mutex_);
        // A dropped press is still released with the next one taken.
        if (press) postedPressTime_ = input_->lastPressTime();
        if (std::holds_alternative<HotkeyEvent>(delivery)) {
            // A key's hotkey follows its InputEvent, kept or dropped with it.
            if (std::exchange(droppingHotkey_, false)) return;
        } else if (event != nullptr) {
            if (waitingEvents_ >= maxWaiting) {
                ++dropped_;
                droppingHotkey_ = event->type == 10;
                // Kept for the typed-text screen: an application may show them later.
                if (droppingHotkey_ && droppedCharacters_.size() + event->characters.size() <=
                                           EventLoop::droppedTextLimit)
                    droppedCharacters_ += event->characters;
                ready_.signal();
                return;
            }
            ++waitingEvents_;
        }
        waiting_.push_back(std::move(delivery));
    }
    ready_.signal();
}

bool X11InputThread::drain() {
    // A reply awaited inside the decoder may read further events into xcb's queue; polling
    // returns those before it reads the socket again, so the loop ends with both empty.
    while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->xcb())})
        input_->handle(*event, clock_->nowMs());
    return !connection_->broken();
}

void X11InputThread::read() {
    while (drain()) {
        connection_->flush();
        pollfd watched[2] = {{connection_->fileDescriptor(), POLLIN, 0},
                             {stop_.descriptor(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) break;
        if (watched[1].revents != 0) return;
    }
    post(InputDisplayLost{});
}
