// Keeps the process's memory out of core dumps: it holds typed, copied and on-screen text.
#pragma once

/// Turns core dumps off for the rest of the process's life (and for anything it starts).
/// False when the system refused; the caller carries on either way.
bool disableCoreDumps();
