#pragma once
#include <immintrin.h>

#include <cstdint>

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

} // namespace
} // namespace conversion
