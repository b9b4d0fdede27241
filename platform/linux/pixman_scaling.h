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
inline constexpr std::int64_t kBandRows = 64;
/// Threads drawing bands at once: with the reader (the JPEG encoder, typically) that keeps
/// both cores of a small machine busy, and takes a fair share of a loaded one.
inline constexpr int kWorkers = 2;

/// A width × height premultiplied ARGB LinuxImage of `source` drawn over the whole rectangle,
/// filled band by band on worker threads so a reader can consume the first rows while the
/// rest are drawn. nullptr when the size is not positive or `source` is not a LinuxImage.
Image scaled(const Image& source, std::int64_t width, std::int64_t height);

} // namespace pixman_scaling
