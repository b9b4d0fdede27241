// C entry points of FoundationModelsBridge.swift.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Availability of the default on-device model: 0 available, 1 device not eligible,
/// 2 Apple Intelligence not enabled, 3 model not ready, 4 another reason, -1 system too old.
/// For 4, `*otherReason` receives a malloc'd description (free it), else NULL.
int32_t quill_fm_availability(char** otherReason);

/// One request on a fresh session with `instructions`, no tools and default options; both
/// texts are UTF-8 of the given byte lengths, NUL characters included. The answer is a
/// malloc'd JSON object (free it): {"ok":true,"category":…,"taskLabel":…,"keywords":[…],
/// "piiTerms":[{"text":…,"kind":…}]} or {"ok":false,"error":…}, where the error names the
/// failure and never quotes the prompt. Blocks the calling thread, which must not be the
/// main thread.
char* quill_fm_classify(const char* instructions, size_t instructionsLength, const char* prompt,
                        size_t promptLength);

#ifdef __cplusplus
}
#endif
