#include "conversion/Routines.h"

#include <cstring>

// The byte copy between equal formats; the count is in bytes. The C library's copy already
// runs at memory speed on every processor it supports.
void convert_copy(const uint8_t*& source, uint8_t*& destination, int32_t count, const void*) {
    if (count <= 0) return;
    std::memcpy(destination, source, size_t(count));
    source += count;
    destination += count;
}

void area_copy(AREA& area, const void* lookup) {
    conversion::walkArea<convert_copy>(area, lookup);
}
