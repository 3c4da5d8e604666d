#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

#include <atomic>
#include <cstring>

// The byte copy between equal formats; the count is in bytes.

using conversion::STRING_MOVE_FROM;

namespace {
std::atomic<int64_t> streamFrom{conversion::STREAM_FROM};
} // namespace

int64_t conversion::streamingFrom() {
    return streamFrom.load(std::memory_order_relaxed);
}

int64_t conversion::setStreamingFrom(int64_t bytes) {
    return streamFrom.exchange(bytes, std::memory_order_relaxed);
}

void convert_copy(const uint8_t*& source, uint8_t*& destination, int32_t count, const void*) {
    if (count <= 0) return;
#if defined(__x86_64__) || defined(__i386__)
    if (count >= STRING_MOVE_FROM) {
        size_t n = size_t(count);
        __asm__ volatile("rep movsb" : "+S"(source), "+D"(destination), "+c"(n) : : "memory");
        return;
    }
#endif
    std::memcpy(destination, source, size_t(count));
    source += count;
    destination += count;
}

// Large copies stream (RowWalk.h) wherever the build's baseline has SSE2: the copy has one
// variant for every level, and at memory speed a store's width makes no difference.
#if defined(__SSE2__)
#include "conversion/Sse2.h"
void area_copy(AREA& area, const void* lookup) {
    conversion::walkArea<convert_copy, conversion::Sse2Vector, true>(area, lookup);
}
#else
PTC_DEFINE_AREA(copy)
#endif
