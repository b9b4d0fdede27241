#include "platform/core_dumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

bool disableCoreDumps() {
    // Not dumpable: no core even where a core pattern pipes to a collector that ignores the
    // size limit, and no ptrace attach by other processes of the same user.
    const bool notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    const rlimit none{0, 0};
    const bool noCoreSize = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return notDumpable && noCoreSize;
}
