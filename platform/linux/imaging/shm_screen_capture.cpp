#include "platform/linux/imaging/shm_screen_capture.h"

#include "platform/linux/imaging/capture_geometry.h"
#include "platform/linux/imaging/composite_window_capture.h"
#include "platform/linux/imaging/linux_image.h"
#include "platform/linux/imaging/pixman_scaling.h"
#include "platform/linux/x11/desktop_settings.h"
#include "platform/linux/x11/x11_connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <utility>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

using capture_geometry::PixelRect;
using capture_geometry::PixelRegion;
using capture_geometry::PixelSize;

namespace {

constexpr std::int64_t kBytesPerPixel = 4;
/// How long a window may take to draw the parts that were hidden before it is read.
constexpr std::chrono::milliseconds kRepaintTimeout{3000};

PortError x11Error(const std::string& what) {
    return PortError{"X11: " + what};
}

/// A System V shared-memory segment attached to us and to the X server.
class ShmSegment {
public:
    static std::shared_ptr<ShmSegment> create(std::shared_ptr<x11::Connection> connection,
                                              std::size_t bytes) {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) return nullptr;
        void* address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return nullptr;
        }
        xcb_connection_t* xcb = connection->xcb();
        const xcb_shm_seg_t segment = xcb_generate_id(xcb);
        x11::Reply<xcb_generic_error_t> error(xcb_request_check(
            xcb, xcb_shm_attach_checked(xcb, segment, static_cast<std::uint32_t>(id), 0)));
        // Both sides are attached (or the server refused): the id is no longer needed, and
        // the kernel frees the memory once the last side detaches.
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            shmdt(address);
            return nullptr;
        }
        return std::shared_ptr<ShmSegment>(
            new ShmSegment(std::move(connection), segment, address, bytes));
    }

    ~ShmSegment() {
        xcb_shm_detach(connection_->xcb(), segment_);
        connection_->flush();
        shmdt(address_);
    }
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    xcb_shm_seg_t id() const { return segment_; }
    std::uint8_t* data() const { return static_cast<std::uint8_t*>(address_); }
    std::size_t size() const { return size_; }

private:
    ShmSegment(std::shared_ptr<x11::Connection> connection, xcb_shm_seg_t segment, void* address,
               std::size_t size)
        : connection_(std::move(connection)), segment_(segment), address_(address), size_(size) {}

    std::shared_ptr<x11::Connection> connection_;
    xcb_shm_seg_t segment_;
    void* address_;
    std::size_t size_;
};

struct Monitor {
    std::uint32_t id = 0;
    PixelRect rect;
};

} // namespace

struct ShmScreenCapture::State {
    std::mutex mutex;
    std::shared_ptr<x11::Connection> connection;
    bool shmAvailable = false;
    bool xfixesAvailable = false;
    bool randrMonitorsAvailable = false;
    /// Asked on the first window capture.
    std::optional<bool> compositeAvailable;
    /// Pixels per point, as the desktop sets it (Gdk/WindowScalingFactor, Xft.dpi).
    double scale = 1;
    std::chrono::steady_clock::time_point scaleReadAt;
    std::shared_ptr<ShmSegment> spareSegment;
    std::vector<Monitor> monitors;
    /// The root window's size when the monitors were last read: screens grow and shrink.
    PixelRect root;

    /// Opens the connection on first use; an error text when the display cannot be reached.
    std::optional<PortError> connect();
    /// Reads the monitors and the root window's size anew.
    void readMonitors();
    /// Reads the backing scale anew once a second has passed since it was last read.
    void followScale();
    std::shared_ptr<ShmSegment> segmentFor(std::size_t bytes);
    xcb_xfixes_get_cursor_image_cookie_t requestCursor(bool showsCursor) const;
    Image streamThroughShm(const PixelRect& rect, bool showsCursor);
    /// `rect.width` × `rect.height` pixels of `source` from (`sourceX`, `sourceY`), with the
    /// `blank` parts (relative to the rectangle) zeroed; `rect` places them on the root window,
    /// for the pointer.
    Result<Image> readPlain(xcb_drawable_t source, std::int64_t sourceX, std::int64_t sourceY,
                            const PixelRect& rect, bool showsCursor, const PixelRegion& blank = {});
    /// The rectangle's pixels, scaled to what the configuration asks for.
    Result<Image> capture(const PixelRect& rect, const PixelSize& whole,
                          const CaptureConfiguration& configuration);
    /// `image` (`visible` pixels of a `whole` source) at the size the configuration asks for.
    static Result<Image> scaled(Image image, const PixelSize& visible, const PixelSize& whole,
                                const CaptureConfiguration& configuration);
};

std::optional<PortError> ShmScreenCapture::State::connect() {
    if (connection && !connection->broken()) return std::nullopt;
    spareSegment.reset();
    compositeAvailable.reset();
    std::unique_ptr<x11::Connection> opened = x11::Connection::open();
    if (!opened) return x11Error("cannot open display");
    connection = std::shared_ptr<x11::Connection>(std::move(opened));
    xcb_connection_t* xcb = connection->xcb();

    const xcb_setup_t* setup = xcb_get_setup(xcb);
    bool thirtyTwoBitPixels = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == connection->screen().root_depth) {
            thirtyTwoBitPixels = formats.data->bits_per_pixel == 32;
        }
    }
    if (!thirtyTwoBitPixels || connection->screen().root_depth < 24 ||
        setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        connection.reset();
        return x11Error("unsupported screen format (need 24-bit colour in 32-bit pixels)");
    }

    // A request of an extension the server lacks would close the connection: ask first (the
    // three questions in one round trip).
    xcb_prefetch_extension_data(xcb, &xcb_shm_id);
    xcb_prefetch_extension_data(xcb, &xcb_xfixes_id);
    xcb_prefetch_extension_data(xcb, &xcb_randr_id);
    const bool hasShm = connection->extension(&xcb_shm_id).has_value();
    const bool hasFixes = connection->extension(&xcb_xfixes_id).has_value();
    const bool hasRandr = connection->extension(&xcb_randr_id).has_value();
    x11::Reply<xcb_shm_query_version_reply_t> shm(
        hasShm ? xcb_shm_query_version_reply(xcb, xcb_shm_query_version(xcb), nullptr) : nullptr);
    x11::Reply<xcb_xfixes_query_version_reply_t> fixes(
        hasFixes ? xcb_xfixes_query_version_reply(xcb, xcb_xfixes_query_version(xcb, 4, 0), nullptr)
                 : nullptr);
    x11::Reply<xcb_randr_query_version_reply_t> randr(
        hasRandr ? xcb_randr_query_version_reply(xcb, xcb_randr_query_version(xcb, 1, 5), nullptr)
                 : nullptr);
    scale = std::max(1.0, desktop::readBackingScale(*connection));
    scaleReadAt = std::chrono::steady_clock::now();
    shmAvailable = shm != nullptr;
    xfixesAvailable = fixes != nullptr && fixes->major_version >= 1;
    randrMonitorsAvailable =
        randr != nullptr && (randr->major_version > 1 || randr->minor_version >= 5);
    return std::nullopt;
}

void ShmScreenCapture::State::followScale() {
    const auto now = std::chrono::steady_clock::now();
    if (now - scaleReadAt < std::chrono::seconds(1)) return;
    scale = std::max(1.0, desktop::readBackingScale(*connection));
    scaleReadAt = now;
}

void ShmScreenCapture::State::readMonitors() {
    xcb_connection_t* xcb = connection->xcb();
    // The size the connection was opened with is that of its moment: ask again, together.
    const auto rootCookie = xcb_get_geometry(xcb, connection->root());
    const xcb_randr_get_monitors_cookie_t monitorsCookie =
        randrMonitorsAvailable ? xcb_randr_get_monitors(xcb, connection->root(), 1)
                               : xcb_randr_get_monitors_cookie_t{0};
    x11::Reply<xcb_get_geometry_reply_t> rootGeometry(
        xcb_get_geometry_reply(xcb, rootCookie, nullptr));
    const xcb_screen_t& screen = connection->screen();
    root = rootGeometry ? PixelRect{0, 0, rootGeometry->width, rootGeometry->height}
                        : PixelRect{0, 0, screen.width_in_pixels, screen.height_in_pixels};
    std::vector<Monitor> found;
    if (randrMonitorsAvailable) {
        x11::Reply<xcb_randr_get_monitors_reply_t> reply(
            xcb_randr_get_monitors_reply(xcb, monitorsCookie, nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t& info = *it.data;
                Monitor monitor{info.name, {info.x, info.y, info.width, info.height}};
                if (monitor.rect.empty()) continue;
                if (info.primary) {
                    found.insert(found.begin(), monitor);
                } else {
                    found.push_back(monitor);
                }
            }
        }
    }
    if (found.empty()) found.push_back({connection->root(), root});
    monitors = std::move(found);
}

std::shared_ptr<ShmSegment> ShmScreenCapture::State::segmentFor(std::size_t bytes) {
    // The spare is free once no image holds it any more (we hold the only reference).
    if (spareSegment && spareSegment.use_count() == 1 && spareSegment->size() >= bytes) {
        return spareSegment;
    }
    auto segment = ShmSegment::create(connection, bytes);
    if (segment) spareSegment = segment;
    return segment;
}

xcb_xfixes_get_cursor_image_cookie_t
ShmScreenCapture::State::requestCursor(bool showsCursor) const {
    if (!showsCursor || !xfixesAvailable) return {0};
    return xcb_xfixes_get_cursor_image(connection->xcb());
}

namespace {

/// Draws the cursor of a GetCursorImage reply over rows [firstRow, endRow) of a capture.
void drawCursor(const xcb_xfixes_get_cursor_image_reply_t* cursor, std::uint8_t* firstRowPixels,
                std::int64_t stride, const PixelRect& rect, std::int64_t firstRow,
                std::int64_t endRow) {
    if (cursor == nullptr) return;
    const std::int64_t cursorWidth = cursor->width;
    const std::int64_t cursorHeight = cursor->height;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(cursor) < cursorWidth * cursorHeight) {
        return;
    }
    capture_geometry::compositeCursor(firstRowPixels, stride, rect.width, endRow - firstRow,
                                      xcb_xfixes_get_cursor_image_cursor_image(cursor), cursorWidth,
                                      cursorHeight, cursor->x - cursor->xhot - rect.x,
                                      cursor->y - cursor->yhot - rect.y - firstRow);
}

// Bands of one shared-memory capture: band k is scaled or encoded while the worker has yet to
// read the replies of the later ones.
constexpr std::int64_t kCaptureBands = 12;
constexpr std::int64_t kMinBandRows = 32;

/// The requests and replies of one banded capture. Every band is asked for when the capture
/// is made, so the image shows the screen as it was then however late it is read; the
/// producing thread collects the replies band by band.
struct BandRequests {
    std::shared_ptr<x11::Connection> connection;
    xcb_shm_seg_t segment = 0;
    PixelRect rect;
    std::int64_t bandRows = 0;
    std::size_t bands = 0;
    std::vector<xcb_shm_get_image_cookie_t> cookies; ///< one per band asked for so far
    std::size_t collected = 0;
    x11::Reply<xcb_xfixes_get_cursor_image_reply_t> cursor;

    BandRequests() = default;
    BandRequests(const BandRequests&) = delete;
    BandRequests& operator=(const BandRequests&) = delete;
    ~BandRequests() {
        // Replies nobody will read (the image was released early) are dropped by xcb.
        for (std::size_t k = collected; k < cookies.size(); ++k) {
            xcb_discard_reply(connection->xcb(), cookies[k].sequence);
        }
    }
    /// Asks for every band before `end` not asked for yet.
    void requestUpTo(std::size_t end) {
        xcb_connection_t* xcb = connection->xcb();
        const std::size_t last = std::min(end, bands);
        if (cookies.size() >= last) return;
        const std::int64_t stride = rect.width * kBytesPerPixel;
        while (cookies.size() < last) {
            const auto top = static_cast<std::int64_t>(cookies.size()) * bandRows;
            const std::int64_t rows = std::min(bandRows, rect.height - top);
            cookies.push_back(xcb_shm_get_image(
                xcb, connection->root(), static_cast<std::int16_t>(rect.x),
                static_cast<std::int16_t>(rect.y + top), static_cast<std::uint16_t>(rect.width),
                static_cast<std::uint16_t>(rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment,
                static_cast<std::uint32_t>(top * stride)));
        }
        xcb_flush(xcb);
    }
    /// Waits for band `k`; false when the server refused it.
    bool collect(std::size_t k) {
        xcb_generic_error_t* rawError = nullptr;
        x11::Reply<xcb_shm_get_image_reply_t> reply(
            xcb_shm_get_image_reply(connection->xcb(), cookies[k], &rawError));
        x11::Reply<xcb_generic_error_t> error(rawError);
        collected = k + 1;
        return reply != nullptr;
    }
};

} // namespace

Image ShmScreenCapture::State::streamThroughShm(const PixelRect& rect, bool showsCursor) {
    const std::int64_t stride = rect.width * kBytesPerPixel;
    std::shared_ptr<ShmSegment> segment =
        segmentFor(static_cast<std::size_t>(stride * rect.height));
    if (!segment) return nullptr;
    xcb_connection_t* xcb = connection->xcb();

    auto requests = std::make_shared<BandRequests>();
    requests->connection = connection;
    requests->segment = segment->id();
    requests->rect = rect;
    requests->bandRows = std::max(kMinBandRows, (rect.height + kCaptureBands - 1) / kCaptureBands);
    requests->bands =
        static_cast<std::size_t>((rect.height + requests->bandRows - 1) / requests->bandRows);
    // Asked first, so its reply does not wait behind the pixels.
    const auto cursorCookie = requestCursor(showsCursor);
    // All asked at once; the image is complete once the last band's reply is in (asked is not
    // copied: until the server has run a band, another client's drawing can still land in it).
    requests->requestUpTo(requests->bands);
    if (cursorCookie.sequence != 0) {
        requests->cursor.reset(xcb_xfixes_get_cursor_image_reply(xcb, cursorCookie, nullptr));
    }
    // The first band answers for the whole request: a refusal shows here, before any image.
    if (!requests->collect(0)) return nullptr;

    std::uint8_t* pixels = segment->data();
    auto fill = [requests, rect](std::int64_t firstRow, std::int64_t endRow,
                                 std::uint8_t* firstRowPixels, std::int64_t rowStride, int) {
        // Bands come in order from one worker; band 0 was collected before the image existed.
        const auto band = static_cast<std::size_t>(firstRow / requests->bandRows);
        if (band >= requests->collected && !requests->collect(band)) {
            std::memset(firstRowPixels, 0,
                        static_cast<std::size_t>(rowStride * (endRow - firstRow)));
            return;
        }
        drawCursor(requests->cursor.get(), firstRowPixels, rowStride, rect, firstRow, endRow);
    };
    return LinuxImage::produced(rect.width, rect.height, stride, LinuxPixelFormat::xrgb32, pixels,
                                std::move(segment), requests->bandRows, std::move(fill));
}

Result<Image> ShmScreenCapture::State::readPlain(xcb_drawable_t source, std::int64_t sourceX,
                                                 std::int64_t sourceY, const PixelRect& rect,
                                                 bool showsCursor, const PixelRegion& blank) {
    xcb_connection_t* xcb = connection->xcb();
    const std::int64_t stride = rect.width * kBytesPerPixel;
    const auto bytes = static_cast<std::size_t>(stride * rect.height);
    const auto cursorCookie = requestCursor(showsCursor);
    const auto imageCookie =
        xcb_get_image(xcb, XCB_IMAGE_FORMAT_Z_PIXMAP, source, static_cast<std::int16_t>(sourceX),
                      static_cast<std::int16_t>(sourceY), static_cast<std::uint16_t>(rect.width),
                      static_cast<std::uint16_t>(rect.height), ~0u);
    x11::Reply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        cursorCookie.sequence != 0 ? xcb_xfixes_get_cursor_image_reply(xcb, cursorCookie, nullptr)
                                   : nullptr);
    xcb_generic_error_t* rawError = nullptr;
    std::shared_ptr<xcb_get_image_reply_t> reply(xcb_get_image_reply(xcb, imageCookie, &rawError),
                                                 x11::FreeDeleter{});
    x11::Reply<xcb_generic_error_t> error(rawError);
    if (!reply) {
        return x11Error(error ? "GetImage failed with error " + std::to_string(error->error_code)
                              : std::string("GetImage failed"));
    }
    if (static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < bytes) {
        return x11Error("GetImage returned too few bytes");
    }
    // The reply's own buffer becomes the image: no copy.
    std::uint8_t* pixels = xcb_get_image_data(reply.get());
    for (const PixelRect& part : blank) {
        const PixelRect inside = capture_geometry::intersect(part, {0, 0, rect.width, rect.height});
        for (std::int64_t y = inside.y; y < inside.y + inside.height; ++y) {
            std::memset(pixels + y * stride + inside.x * kBytesPerPixel, 0,
                        static_cast<std::size_t>(inside.width * kBytesPerPixel));
        }
    }
    drawCursor(cursor.get(), pixels, stride, rect, 0, rect.height);
    return Image(std::make_shared<LinuxImage>(rect.width, rect.height, stride,
                                              LinuxPixelFormat::xrgb32, pixels, std::move(reply)));
}

Result<Image> ShmScreenCapture::State::capture(const PixelRect& rect, const PixelSize& whole,
                                               const CaptureConfiguration& configuration) {
    Image image = shmAvailable ? streamThroughShm(rect, configuration.showsCursor) : nullptr;
    if (!image) {
        if (connection->broken()) return x11Error("connection lost");
        // Some servers refuse shared memory for some requests: the plain request still works.
        Result<Image> plain =
            readPlain(connection->root(), rect.x, rect.y, rect, configuration.showsCursor);
        if (!plain) return plain;
        image = plain.value();
    }
    return scaled(std::move(image), {rect.width, rect.height}, whole, configuration);
}

Result<Image> ShmScreenCapture::State::scaled(Image image, const PixelSize& visible,
                                              const PixelSize& whole,
                                              const CaptureConfiguration& configuration) {
    const PixelSize output =
        capture_geometry::outputSize(visible, whole, {configuration.width, configuration.height});
    if (output == visible) return image;
    Image scaled = pixman_scaling::scaled(image, output.width, output.height);
    if (!scaled) return x11Error("cannot scale the captured image");
    return scaled;
}

ShmScreenCapture::ShmScreenCapture() : state_(std::make_unique<State>()) {}

ShmScreenCapture::~ShmScreenCapture() = default;

Result<ShareableContent> ShmScreenCapture::shareableContent() {
    std::lock_guard lock(state_->mutex);
    if (auto error = state_->connect()) return *error;
    state_->followScale();
    x11::Connection& connection = *state_->connection;
    xcb_connection_t* xcb = connection.xcb();

    std::vector<std::uint32_t> stacking =
        connection.numbers(connection.root(), connection.atom("_NET_CLIENT_LIST_STACKING"));
    if (stacking.empty()) {
        // No EWMH window manager: the root's children, bottom to top.
        x11::Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(xcb, xcb_query_tree(xcb, connection.root()), nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            stacking.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    // Every question about every window goes out at once: one round trip in all.
    struct Questions {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
    };
    std::vector<Questions> questions;
    questions.reserve(stacking.size());
    for (std::uint32_t window : stacking) {
        questions.push_back({xcb_get_window_attributes(xcb, window), xcb_get_geometry(xcb, window),
                             xcb_translate_coordinates(xcb, window, connection.root(), 0, 0)});
    }
    ShareableContent content;
    for (std::size_t k = stacking.size(); k-- > 0;) { // front to back
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(xcb, questions[k].attributes, nullptr));
        x11::Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(xcb, questions[k].geometry, nullptr));
        x11::Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(xcb, questions[k].origin, nullptr));
        if (!attributes || !geometry || !origin ||
            attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || geometry->width == 0 ||
            geometry->height == 0) {
            continue;
        }
        const double scale = state_->scale;
        content.windows.push_back({stacking[k],
                                   {origin->dst_x / scale, origin->dst_y / scale,
                                    geometry->width / scale, geometry->height / scale}});
    }
    state_->readMonitors();
    for (const Monitor& monitor : state_->monitors) {
        content.displays.push_back(
            {monitor.id,
             static_cast<std::int64_t>(static_cast<double>(monitor.rect.width) / state_->scale),
             static_cast<std::int64_t>(static_cast<double>(monitor.rect.height) / state_->scale)});
    }
    return content;
}

Result<Image> ShmScreenCapture::captureDisplay(const ShareableDisplay& display,
                                               const CaptureConfiguration& configuration) {
    std::lock_guard lock(state_->mutex);
    if (auto error = state_->connect()) return *error;
    const auto findMonitor = [&]() -> const Monitor* {
        for (const Monitor& monitor : state_->monitors) {
            if (monitor.id == display.displayID) return &monitor;
        }
        return nullptr;
    };
    if (findMonitor() == nullptr) state_->readMonitors();
    const Monitor* monitor = findMonitor();
    if (monitor == nullptr) return x11Error("no monitor " + std::to_string(display.displayID));
    const PixelRect rect = capture_geometry::intersect(monitor->rect, state_->root);
    if (rect.empty()) return x11Error("monitor lies outside the screen");

    return state_->capture(rect, {monitor->rect.width, monitor->rect.height}, configuration);
}

Result<Image> ShmScreenCapture::captureWindow(const ShareableWindow& window,
                                              const CaptureConfiguration& configuration) {
    std::lock_guard lock(state_->mutex);
    if (auto error = state_->connect()) return *error;
    if (!state_->compositeAvailable) {
        state_->compositeAvailable = composite_capture::available(*state_->connection);
    }
    if (!*state_->compositeAvailable) {
        return x11Error("a window cannot be captured alone without the Composite and Damage "
                        "extensions");
    }
    auto contents = composite_capture::WindowContents::take(*state_->connection, window.windowID,
                                                            kRepaintTimeout);
    if (!contents) return contents.error();
    const composite_capture::WindowContents& held = *contents.value();
    const PixelRect& rect = held.onRoot();
    Result<Image> image = state_->readPlain(held.drawable(), held.originX(), held.originY(), rect,
                                            configuration.showsCursor, held.unpainted());
    if (!image) return image;
    const PixelSize whole{rect.width, rect.height};
    return State::scaled(std::move(image.value()), whole, whole, configuration);
}
