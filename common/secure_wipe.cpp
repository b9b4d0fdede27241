#include "common/secure_wipe.h"

void wipeMemory(void* data, std::size_t size) {
    auto* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

void wipeString(std::string& text) {
    wipeMemory(text.data(), text.capacity());
    text.clear();
}
