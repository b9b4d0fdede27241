#include "platform/core_dumps.h"

#include <sys/resource.h>

bool disableCoreDumps() {
    const rlimit none{0, 0};
    return ::setrlimit(RLIMIT_CORE, &none) == 0;
}
