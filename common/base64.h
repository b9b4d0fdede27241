// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <cstdint>
#include <span>
#include <string>

std::string base64Encode(std::span<const std::uint8_t> bytes);
