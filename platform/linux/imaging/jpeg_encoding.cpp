#include "platform/linux/imaging/jpeg_encoding.h"

#include "platform/linux/imaging/linux_image.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <new>

namespace jpeg_encoding {
namespace {

constexpr std::size_t kInitialOutputBytes = 256 * 1024;
// Rows handed to libjpeg at once: one 4:2:0 MCU row.
constexpr std::int64_t kRowsPerWrite = 16;

/// libjpeg's error manager, leaving by longjmp instead of exiting the process.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf exit;
};

/// A destination manager that grows a vector.
struct VectorDestination {
    jpeg_destination_mgr base;
    std::vector<std::uint8_t>* bytes;
};

[[noreturn]] void leaveOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->exit, 1);
}

void silenceMessages(j_common_ptr) {}

void initDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    destination->base.next_output_byte = destination->bytes->data();
    destination->base.free_in_buffer = destination->bytes->size();
}

boolean growDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    std::vector<std::uint8_t>& bytes = *destination->bytes;
    // libjpeg calls this only when the whole buffer is full.
    const std::size_t used = bytes.size();
    bool grown = true;
    try {
        bytes.resize(used * 2);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    destination->base.next_output_byte = bytes.data() + used;
    destination->base.free_in_buffer = bytes.size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    destination->bytes->resize(destination->bytes->size() - destination->base.free_in_buffer);
}

/// The part that libjpeg may leave by longjmp: only trivially destructible locals here.
bool compress(jpeg_compress_struct* cinfo, ErrorManager* errors, const LinuxImage& image,
              int quality) {
    if (setjmp(errors->exit) != 0) return false;

    cinfo->image_width = static_cast<JDIMENSION>(image.width());
    cinfo->image_height = static_cast<JDIMENSION>(image.height());
    cinfo->input_components = 4;
    cinfo->in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    // libjpeg-turbo's fast integer DCT: its TurboJPEG default for compression.
    cinfo->dct_method = JDCT_IFAST;
    jpeg_start_compress(cinfo, TRUE);

    JSAMPROW rows[kRowsPerWrite];
    const std::int64_t height = image.height();
    for (std::int64_t first = 0; first < height; first += kRowsPerWrite) {
        const std::int64_t count = std::min(kRowsPerWrite, height - first);
        image.waitForRows(first + count);
        for (std::int64_t k = 0; k < count; ++k) {
            // libjpeg only reads the rows; its API is not const-correct.
            rows[k] = const_cast<JSAMPROW>(image.row(first + k));
        }
        jpeg_write_scanlines(cinfo, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

int qualityPercent(double quality) {
    if (!std::isfinite(quality)) return 75;
    return static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
}

std::optional<std::vector<std::uint8_t>> encode(const LinuxImage& image, int quality) {
    if (image.width() <= 0 || image.height() <= 0 || image.width() > JPEG_MAX_DIMENSION ||
        image.height() > JPEG_MAX_DIMENSION) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(kInitialOutputBytes);

    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = leaveOnError;
    errors.base.output_message = silenceMessages;
    jpeg_create_compress(&cinfo);

    VectorDestination destination{};
    destination.bytes = &bytes;
    destination.base.init_destination = initDestination;
    destination.base.empty_output_buffer = growDestination;
    destination.base.term_destination = termDestination;
    cinfo.dest = &destination.base;

    const bool done = compress(&cinfo, &errors, image, std::clamp(quality, 0, 100));
    jpeg_destroy_compress(&cinfo);
    if (!done) return std::nullopt;
    return bytes;
}

} // namespace jpeg_encoding
