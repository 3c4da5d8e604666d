#pragma once
#include "conversion/Routines.h"

#include <array>

// What the AVX-512 paths of the routines share. Only functions marked PTC_TARGET_AVX512 use
// these, and only at SIMD_AVX512.

#if defined(__SSE2__)
#include <immintrin.h>

namespace conversion {

// A mask of the first n lanes (all 64 for n >= 64).
PTC_TARGET_AVX512 inline __mmask64 firstLanes(int32_t n) {
    // A shift, not BZHI: the 64-bit form of that instruction does not exist on 32-bit x86.
    return n >= 64 ? ~__mmask64(0) : __mmask64((uint64_t(1) << unsigned(n)) - 1);
}

// Word k of a two-source word permute: word 2k of the pair, the low halves of 32 words.
alignas(64) inline constexpr std::array<uint16_t, 32> evenWords = [] {
    std::array<uint16_t, 32> control{};
    for (int k = 0; k < 32; ++k) control[size_t(k)] = uint16_t(2 * k);
    return control;
}();

// Words k of two registers of 32 words, interleaved: 2k takes word k of the first, 2k + 1
// word k of the second (index 32 + k); the first 32 entries for k = 0..15, the next for 16..31.
alignas(64) inline constexpr std::array<uint16_t, 64> interleavedWords = [] {
    std::array<uint16_t, 64> control{};
    for (int j = 0; j < 64; ++j) control[size_t(j)] = uint16_t(j / 2 + (j % 2 ? 32 : 0));
    return control;
}();

// Byte k of a two-source byte permute: byte 2k of the pair, the low bytes of 64 words.
alignas(64) inline constexpr std::array<uint8_t, 64> evenBytes = [] {
    std::array<uint8_t, 64> control{};
    for (int k = 0; k < 64; ++k) control[size_t(k)] = uint8_t(2 * k);
    return control;
}();

// 32 pixels held as 16-bit words, the two low bytes of each in the first register and the
// third byte as the low byte of each word of the second, to 96 bytes of 24-bit pixels: byte
// 3p + 0 and 3p + 1 take bytes 2p and 2p + 1 of the first register, byte 3p + 2 byte 2p of the
// second (index 64 + 2p). Two controls of 64 output bytes each; the second's upper half unused.
alignas(64) inline constexpr std::array<uint8_t, 128> threeBytes = [] {
    std::array<uint8_t, 128> control{};
    for (int j = 0; j < 128; ++j) {
        const int p = j / 3, byte = j % 3;
        control[size_t(j)] = uint8_t(byte < 2 ? 2 * p + byte : 64 + 2 * p);
    }
    return control;
}();

// A logical right shift of each 32-bit lane. Written as a vector operation: GCC 12's own
// shift intrinsic trips its uninitialised-value warning.
PTC_TARGET_AVX512 inline __m512i shiftRight32(__m512i v, int n) {
    return __m512i(__v16su(v) >> n);
}

PTC_TARGET_AVX512 inline __m512i load512(const void* p) {
    return _mm512_loadu_si512(p);
}
PTC_TARGET_AVX512 inline void store512(void* p, __m512i v) {
    _mm512_storeu_si512(p, v);
}

// Stores the 24-bit pixels of threeBytes: 3 x count bytes (count <= 32).
PTC_TARGET_AVX512 inline void storeThreeBytes(uint8_t* d, __m512i low, __m512i high,
                                              int32_t count) {
    const __m512i first = _mm512_permutex2var_epi8(low, load512(threeBytes.data()), high);
    const __m512i second = _mm512_permutex2var_epi8(low, load512(threeBytes.data() + 64), high);
    if (count == 32) {
        store512(d, first);
        _mm512_mask_storeu_epi8(d + 64, 0xFFFFFFFFu, second);
        return;
    }
    const int32_t bytes = 3 * count;
    _mm512_mask_storeu_epi8(d, firstLanes(bytes), first);
    if (bytes > 64) _mm512_mask_storeu_epi8(d + 64, firstLanes(bytes - 64), second);
}

} // namespace conversion

#endif
