#pragma once
#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

// What the SSE2 and SSSE3 variants share. Included only by files compiled for those.

namespace conversion {
namespace {

inline __m128i load128(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store128(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
inline __m128i loadControl(const void* aligned) {
    return _mm_load_si128(static_cast<const __m128i*>(aligned));
}

// The SSE2 and SSSE3 variants' destination alignment and streaming stores (RowWalk.h): stream
// copies bytes with stores that bypass the caches (the destination's whole 16-byte blocks, the
// bytes around them plainly); fence orders them before whatever reads them next.
struct Sse2Vector {
    static constexpr int BYTES = 16;
    static void stream(uint8_t* d, const uint8_t* s, size_t bytes) {
        const size_t head = std::min(bytes, size_t(0 - reinterpret_cast<uintptr_t>(d)) & 15);
        std::memcpy(d, s, head);
        d += head, s += head, bytes -= head;
        for (; bytes >= 16; bytes -= 16, s += 16, d += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(d), load128(s));
        std::memcpy(d, s, bytes);
    }
    static void fence() { _mm_sfence(); }
};

// 4 32-bit pixels to the 12 bytes of their low three bytes, at the bottom of the register, without
// a byte shuffle: each 64-bit half closes up to six bytes, then the upper six move down.
inline __m128i closeUp12(__m128i p) {
    const __m128i low = _mm_and_si128(p, _mm_set1_epi64x(0xFFFFFF));
    const __m128i high = _mm_and_si128(_mm_srli_epi64(p, 8), _mm_set1_epi64x(0xFFFFFF000000));
    const __m128i six = _mm_or_si128(low, high);
    return _mm_or_si128(_mm_move_epi64(six), _mm_slli_si128(_mm_srli_si128(six, 8), 6));
}

} // namespace
} // namespace conversion
