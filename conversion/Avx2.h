#pragma once
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

// What the AVX2 variants share. Included only by files compiled for AVX2.

namespace conversion {
namespace {

inline __m256i load256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
inline void store256(void* p, __m256i v) {
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}
// A 16-byte control in both lanes.
inline __m256i loadControlTwice(const void* aligned) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(static_cast<const __m128i*>(aligned)));
}

// The AVX2 variants' destination alignment and streaming stores, 32 bytes a store: as Sse2Vector.
struct Avx2Vector {
    static constexpr int BYTES = 32;
    static void stream(uint8_t* d, const uint8_t* s, size_t bytes) {
        const size_t head = std::min(bytes, size_t(0 - reinterpret_cast<uintptr_t>(d)) & 31);
        std::memcpy(d, s, head);
        d += head, s += head, bytes -= head;
        for (; bytes >= 32; bytes -= 32, s += 32, d += 32)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(d), load256(s));
        std::memcpy(d, s, bytes);
    }
    static void fence() { _mm_sfence(); }
};

} // namespace
} // namespace conversion
