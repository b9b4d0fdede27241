// Random (version 4) UUIDs.
#pragma once

#include <string>

/// A fresh random UUID in upper-case 8-4-4-4-12 form, e.g. "3F2504E0-4F89-41D3-9A0C-0305E82C3301".
std::string randomUuid();
