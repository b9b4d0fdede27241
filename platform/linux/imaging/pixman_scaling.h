// Image resampling with pixman, produced band by band on a worker thread.
#pragma once

#include "platform/image.h"

#include <cstdint>

namespace pixman_scaling {

/// How the source is sampled for one output pixel.
enum class Filter {
    bilinear,    ///< reductions up to 2× (and enlargements): 2×2 neighbourhood
    boxAveraging ///< stronger reductions: every source pixel under the output pixel counts
};

/// The filter for a reduction by `factorX` × `factorY` (source size / output size).
Filter filterFor(double factorX, double factorY);

/// Rows of output produced per band: small enough for a consumer to start early, large enough
/// to keep the hand-over cheap.
inline constexpr std::int64_t kBandRows = 32;
/// Threads drawing bands at once. One is enough: drawing a band costs less than encoding it,
/// so a single drawer stays ahead of its reader (the JPEG encoder, typically), and the two
/// share two cores with the X server; a second drawer would only take turns away from the
/// encoder, which sets the pace.
inline constexpr int kWorkers = 1;

/// A width × height premultiplied ARGB LinuxImage of `source` drawn over the whole rectangle,
/// filled band by band on worker threads so a reader can consume the first rows while the
/// rest are drawn. nullptr when the size is not positive or `source` is not a LinuxImage.
Image scaled(const Image& source, std::int64_t width, std::int64_t height);

} // namespace pixman_scaling
