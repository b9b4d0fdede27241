// Entry point of quillmap-helper-engines.so.
#include "platform/linux/helper/helper_engines.h"

#include <exception>

extern "C" __attribute__((visibility("default"))) HelperEngines* quill_make_helper_engines() {
    try {
        return makeHelperEngines().release();
    } catch (...) { // nothing may unwind into the loader
        return nullptr;
    }
}
