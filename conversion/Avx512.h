#pragma once
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

// What the AVX-512 variants share. Included only by files compiled for AVX-512 F, BW, VL and
// VBMI with BMI2.

namespace conversion {

namespace {

// Word k of a two-source word permute: word 2k of the pair, the low halves of 32 words.
alignas(64) inline constexpr std::array<uint16_t, 32> evenWords = [] {
    std::array<uint16_t, 32> control{};
    for (int k = 0; k < 32; ++k) control[size_t(k)] = uint16_t(2 * k);
    return control;
}();

// Byte k of a two-source byte permute: byte 2k of the pair, the low bytes of 64 words.
alignas(64) inline constexpr std::array<uint8_t, 64> evenBytes = [] {
    std::array<uint8_t, 64> control{};
    for (int k = 0; k < 64; ++k) control[size_t(k)] = uint8_t(2 * k);
    return control;
}();

// A logical right shift of each 32-bit lane. Written as a vector operation: GCC 12's own
// shift intrinsic trips its uninitialised-value warning.
inline __m512i shiftRight32(__m512i v, int n) {
    return __m512i(__v16su(v) >> n);
}

// The full-mask forms of two permutes, spelled with a zeroing mask: GCC 12's unmasked ones
// trip its uninitialised-value warning too.
inline __m512i permuteBytes(__m512i control, __m512i v) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64(0), control, v);
}
template <int Lanes> inline __m512i shuffleLanes(__m512i a, __m512i b) {
    return _mm512_maskz_shuffle_i64x2(__mmask8(0xFF), a, b, Lanes);
}

inline __m512i load512(const void* p) {
    return _mm512_loadu_si512(p);
}
inline void store512(void* p, __m512i v) {
    _mm512_storeu_si512(p, v);
}

// The AVX-512 variants' destination alignment and streaming stores, 64 bytes a store: as
// Sse2Vector.
struct Avx512Vector {
    static constexpr int BYTES = 64;
    static void stream(uint8_t* d, const uint8_t* s, size_t bytes) {
        const size_t head = std::min(bytes, size_t(0 - reinterpret_cast<uintptr_t>(d)) & 63);
        std::memcpy(d, s, head);
        d += head, s += head, bytes -= head;
        for (; bytes >= 64; bytes -= 64, s += 64, d += 64)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(d), load512(s));
        std::memcpy(d, s, bytes);
    }
    static void fence() { _mm_sfence(); }
};

// A table of 256 bytes in four registers, entries 64k to 64k + 63 in register k.
struct ByteTable {
    __m512i t[4];
};

inline ByteTable loadByteTable(const uint8_t* table) {
    return {{load512(table), load512(table + 64), load512(table + 128), load512(table + 192)}};
}

// The entries for 64 indices: the low seven bits pick a byte of one half of the table, the top
// bit (given as top, the indices' sign mask, which callers often share) the half.
inline __m512i lookupBytes(const ByteTable& table, __m512i i, __mmask64 top) {
    return _mm512_mask_blend_epi8(top, _mm512_permutex2var_epi8(table.t[0], i, table.t[1]),
                                  _mm512_permutex2var_epi8(table.t[2], i, table.t[3]));
}

// Stores the low 32 bytes of v: a plain store, which is faster than a masked one.
inline void storeLowHalf(void* p, __m512i v) {
    // Extracted with a zeroing mask for the same GCC 12 warning as above.
    _mm256_storeu_si256(static_cast<__m256i*>(p), _mm512_maskz_extracti64x4_epi64(0xF, v, 0));
}

} // namespace
} // namespace conversion
