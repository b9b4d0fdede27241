// The before-frame pipeline (capture of the primary monitor, downscale to 2048 pixels on the
// long edge, JPEG at quality 0.85, frame written) timed against the same work in Pillow and
// against a bare TurboJPEG encode of the already-downscaled image. Rounds interleave the
// three so that load from elsewhere touches them alike; medians are reported.
//
//   bench_screenshot_pipeline [--paint-desktop] [rounds]
//
// Needs DISPLAY, ideally a 2880×1800 screen. --paint-desktop first sets the root window's
// background to a synthetic desktop (text-like strokes, flat panels, gradients, a photo-like
// area), so the encoders see realistic content on an otherwise empty virtual screen.
#include "platform/linux/imaging/linux_graphics.h"
#include "platform/linux/imaging/linux_image.h"
#include "platform/linux/imaging/shm_screen_capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// CPU time of every thread of this process so far.
double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One Pillow round per line read on stdin; prints the milliseconds it took.
constexpr const char* kPillowScript = R"(
import io, sys, time
from PIL import ImageGrab
for line in sys.stdin:
    start = time.perf_counter()
    image = ImageGrab.grab().resize((int(line.split()[0]), int(line.split()[1])))
    out = io.BytesIO()
    image.save(out, "JPEG", quality=85)
    elapsed = (time.perf_counter() - start) * 1000
    print(f"{elapsed:.3f} {out.tell()}", flush=True)
)";

/// /usr/bin/python3 running kPillowScript, driven one round at a time.
class PillowWorker {
public:
    PillowWorker() {
        int toChild[2];
        int fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            close(toChild[1]);
            close(fromChild[0]);
            execl("/usr/bin/python3", "python3", "-c", kPillowScript, nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        input_ = fdopen(toChild[1], "w");
        output_ = fdopen(fromChild[0], "r");
    }
    ~PillowWorker() {
        if (input_ != nullptr) std::fclose(input_);
        if (output_ != nullptr) std::fclose(output_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }

    /// Milliseconds of one round, or a negative value when Pillow failed.
    double round(long width, long height) {
        if (input_ == nullptr || output_ == nullptr) return -1;
        std::fprintf(input_, "%ld %ld\n", width, height);
        std::fflush(input_);
        double milliseconds = -1;
        long bytes = 0;
        if (std::fscanf(output_, "%lf %ld", &milliseconds, &bytes) != 2) return -1;
        return milliseconds;
    }

private:
    pid_t pid_ = -1;
    FILE* input_ = nullptr;
    FILE* output_ = nullptr;
};

/// Writes a frame (header and payload) the way the capture stream does, to /dev/null.
void writeFrame(int fd, const std::vector<std::uint8_t>& jpeg) {
    const std::string header = R"({"type":"frame","sessionId":"bench","seq":1})";
    std::uint8_t lengths[8];
    const auto put = [&](int at, std::uint32_t value) {
        for (int k = 0; k < 4; ++k)
            lengths[at + k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
    };
    put(0, static_cast<std::uint32_t>(header.size()));
    put(4, static_cast<std::uint32_t>(jpeg.size()));
    if (write(fd, lengths, sizeof lengths) < 0 || write(fd, header.data(), header.size()) < 0 ||
        write(fd, jpeg.data(), jpeg.size()) < 0) {
        std::perror("write");
    }
}

bool decodesTo(const std::vector<std::uint8_t>& jpeg, long width, long height) {
    tjhandle handle = tjInitDecompress();
    int decodedWidth = 0, decodedHeight = 0, subsampling = 0, colourspace = 0;
    const int status = tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &decodedWidth,
                                           &decodedHeight, &subsampling, &colourspace);
    tjDestroy(handle);
    return status == 0 && decodedWidth == width && decodedHeight == height;
}

std::uint32_t mix(std::uint32_t value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    return value ^ (value >> 16);
}

/// The synthetic desktop's pixel at (x, y), 0xRRGGBB.
std::uint32_t desktopPixel(int x, int y, int width, int height, std::uint32_t noise) {
    if (y < 60) return 0x202830 + static_cast<std::uint32_t>(x * 40 / width) * 0x010101;
    if (x < width / 6) return (y / 40) % 2 == 0 ? 0xE8ECF0 : 0xDDE3EA;
    if (x > width * 2 / 3 && y > height / 2) { // a photo: smooth shapes and a little grain
        const double u = (x - width * 2.0 / 3) / (width / 3.0);
        const double v = (y - height / 2.0) / (height / 2.0);
        const auto channel = [&](double phase) {
            const double value = 128 + 90 * std::sin(u * 5 + phase) * std::cos(v * 4 - phase);
            return static_cast<std::uint32_t>(std::clamp(value + (noise & 0xF) - 8.0, 0.0, 255.0));
        };
        return channel(0) << 16 | channel(1.3) << 8 | channel(2.6);
    }
    // A document: lines of words in a 9-pixel-wide, 12-pixel-high glyph grid on white.
    const int lineIndex = (y - 60) / 28;
    const int row = (y - 60) % 28 - 8;
    const int column = x - width / 6 - 40;
    if (row < 0 || row >= 12 || column < 0) return 0xFFFFFF;
    const auto lineLength = static_cast<int>(mix(static_cast<std::uint32_t>(lineIndex)) % 180);
    const int cell = column / 9;
    if (cell >= lineLength) return 0xFFFFFF;
    const std::uint32_t glyph = mix(static_cast<std::uint32_t>(lineIndex * 4096 + cell));
    if (glyph % 7 == 0) return 0xFFFFFF; // space between words
    const int glyphColumn = column % 9;
    if (glyphColumn >= 7) return 0xFFFFFF;
    const bool stroke = ((glyph >> glyphColumn) & 1u) != 0 && ((glyph >> (8 + row)) & 1u) != 0;
    return stroke ? 0x303438 : 0xFFFFFF;
}

bool paintDesktop() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    const xcb_pixmap_t pixmap = xcb_generate_id(connection);
    xcb_create_pixmap(connection, screen->root_depth, pixmap, screen->root,
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, pixmap, 0, nullptr);
    constexpr int kStripRows = 32;
    std::vector<std::uint32_t> strip(static_cast<std::size_t>(width * kStripRows));
    std::uint32_t noise = 2463534242u;
    for (int top = 0; top < height; top += kStripRows) {
        const int rows = std::min(kStripRows, height - top);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < width; ++x) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                strip[static_cast<std::size_t>(y * width + x)] =
                    desktopPixel(x, top + y, width, height, noise);
            }
        }
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc,
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(rows), 0,
                      static_cast<std::int16_t>(top), 0, screen->root_depth,
                      static_cast<std::uint32_t>(rows * width * 4),
                      reinterpret_cast<const std::uint8_t*>(strip.data()));
    }
    xcb_change_window_attributes(connection, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(connection, 0, screen->root, 0, 0, 0, 0);
    xcb_free_pixmap(connection, pixmap);
    xcb_free_gc(connection, gc);
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 21;
    for (int k = 1; k < argc; ++k) {
        if (std::string(argv[k]) == "--paint-desktop") {
            if (!paintDesktop()) {
                std::fprintf(stderr, "cannot paint the desktop: no display\n");
                return 1;
            }
        } else {
            rounds = std::max(3, std::atoi(argv[k]));
        }
    }
    ShmScreenCapture capture;
    LinuxGraphics graphics;
    PillowWorker pillow;
    const int devNull = open("/dev/null", O_WRONLY);
    tjhandle compressor = tjInitCompress();

    std::vector<double> ours, pillowTimes, bare, oursCpu;
    long screenWidth = 0, screenHeight = 0, width = 0, height = 0;
    for (int round = -1; round < rounds; ++round) { // round -1 warms everything up
        auto start = Clock::now();
        const double cpuStart = processCpuMilliseconds();
        auto content = capture.shareableContent();
        if (!content || content.value().displays.empty()) {
            std::fprintf(stderr, "no display: %s\n",
                         content ? "none listed" : content.error().description.c_str());
            return 1;
        }
        const ShareableDisplay display = content.value().displays.front();
        auto image = capture.captureDisplay(display, {display.width, display.height, true, false});
        if (!image) {
            std::fprintf(stderr, "capture failed: %s\n", image.error().description.c_str());
            return 1;
        }
        screenWidth = display.width;
        screenHeight = display.height;
        const double factor = 2048.0 / static_cast<double>(std::max(screenWidth, screenHeight));
        width = std::min(screenWidth, static_cast<long>(factor * static_cast<double>(screenWidth)));
        height =
            std::min(screenHeight, static_cast<long>(factor * static_cast<double>(screenHeight)));
        Image reduced = graphics.drawScaled(image.value(), width, height);
        auto jpeg = reduced ? graphics.encodeJPEG(reduced, 0.85) : std::nullopt;
        if (!jpeg) {
            std::fprintf(stderr, "encoding failed\n");
            return 1;
        }
        writeFrame(devNull, *jpeg);
        const double oursMs = millisecondsSince(start);
        const double oursCpuMs = processCpuMilliseconds() - cpuStart;
        if (!decodesTo(*jpeg, width, height)) {
            std::fprintf(stderr, "our JPEG does not decode to %ldx%ld\n", width, height);
            return 1;
        }

        const LinuxImage* pixels = LinuxImage::from(reduced);
        unsigned char* bareJpeg = nullptr;
        unsigned long bareSize = 0;
        start = Clock::now();
        const int status = tjCompress2(compressor, pixels->pixels(), static_cast<int>(width),
                                       static_cast<int>(pixels->stride()), static_cast<int>(height),
                                       TJPF_BGRX, &bareJpeg, &bareSize, TJSAMP_420, 85, 0);
        const double bareMs = millisecondsSince(start);
        tjFree(bareJpeg);
        if (status != 0) {
            std::fprintf(stderr, "TurboJPEG failed: %s\n", tjGetErrorStr2(compressor));
            return 1;
        }
        reduced.reset();
        image.value().reset();

        const double pillowMs = pillow.round(width, height);
        if (pillowMs < 0) {
            std::fprintf(stderr,
                         "Pillow failed (is python3-pil installed for /usr/bin/python3?)\n");
            return 1;
        }
        if (round >= 0) {
            ours.push_back(oursMs);
            oursCpu.push_back(oursCpuMs);
            bare.push_back(bareMs);
            pillowTimes.push_back(pillowMs);
        }
    }
    tjDestroy(compressor);
    close(devNull);

    const double oursMedian = median(ours);
    const double pillowMedian = median(pillowTimes);
    const double bareMedian = median(bare);
    std::printf("screenshot pipeline, %ldx%ld -> %ldx%ld, JPEG 85, %d rounds, medians:\n",
                screenWidth, screenHeight, width, height, rounds);
    std::printf("  ours (capture, downscale, JPEG, frame write)  %8.2f ms\n", oursMedian);
    std::printf("  Pillow (grab, resize, JPEG)                   %8.2f ms\n", pillowMedian);
    std::printf("  bare TurboJPEG encode of the reduced image    %8.2f ms\n", bareMedian);
    // How much of the second core the pipeline got: with a busy machine it cannot overlap.
    std::printf("  ours, CPU time of this process (all threads) %8.2f ms, %.2f cores busy\n",
                median(oursCpu), median(oursCpu) / oursMedian);
    std::printf("  ours / Pillow          %.3f  (target <= 0.25)\n", oursMedian / pillowMedian);
    std::printf("  ours / bare TurboJPEG  %.3f  (target <= 2)\n", oursMedian / bareMedian);
    return 0;
}
