// Turns decoded input events into recorder operations.
#pragma once

#include "platform/event_loop.h"

#include <cstdint>
#include <string>

class Recorder;

/// Handles one event delivered by the input tap (any type).
void eventCallback(Recorder& recorder, const InputEvent& event);

/// Name of a physical key for key-combination records ("v", "key36", …).
std::string keyName(std::int64_t keyCode);

/// The characters a key press produced, at most 4 UTF-16 units, as UTF-8.
std::string charFor(const InputEvent& event);
