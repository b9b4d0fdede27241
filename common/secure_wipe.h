// Overwriting memory that held private text before it is released.
#pragma once

#include <cstddef>
#include <string>

/// Overwrites `size` bytes at `data` with zeros in a way the compiler cannot drop.
void wipeMemory(void* data, std::size_t size);

/// Overwrites the whole allocation of `text` (its capacity, not just its size) and empties it.
void wipeString(std::string& text);
