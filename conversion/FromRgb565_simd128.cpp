#include "conversion/FromRgb565.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Simd128.h"

// The routines from RGB565 with WebAssembly SIMD: the expansions by the multiplications that
// match the tables exactly (FromRgb565.h), the repacks by shifts and masks, 8 or 16 pixels a step.

using namespace conversion;

namespace {

inline v128_t splat16(int v) {
    return wasm_i16x8_splat(int16_t(v));
}

// 8 pixels to two registers of 4 32-bit pixels. Red and blue fit 16 bits times 2105; green's
// product does not, so it is taken in 32 bits and packed back (exactly: it is at most 255).
template <int K> inline void expand8(v128_t q, v128_t& first, v128_t& second) {
    const v128_t r = wasm_u16x8_shr(wasm_i16x8_mul(wasm_u16x8_shr(q, 11), splat16(2105)), 8);
    const v128_t b =
        wasm_u16x8_shr(wasm_i16x8_mul(wasm_v128_and(q, splat16(0x1F)), splat16(2105)), 8);
    const v128_t g5 = wasm_v128_and(q, splat16(0x7E0));
    const v128_t g = wasm_u16x8_narrow_i32x4(
        wasm_u32x4_shr(wasm_u32x4_extmul_low_u16x8(g5, splat16(16555)), 17),
        wasm_u32x4_shr(wasm_u32x4_extmul_high_u16x8(g5, splat16(16555)), 17));
    v128_t low, high; // bytes 0-1 and 2-3 of each pixel
    if constexpr (K == TO_ARGB8888) low = wasm_v128_or(b, wasm_i16x8_shl(g, 8)), high = r;
    if constexpr (K == TO_ABGR8888) low = wasm_v128_or(r, wasm_i16x8_shl(g, 8)), high = b;
    if constexpr (K == TO_RGBA8888)
        low = wasm_i16x8_shl(b, 8), high = wasm_v128_or(g, wasm_i16x8_shl(r, 8));
    if constexpr (K == TO_BGRA8888)
        low = wasm_i16x8_shl(r, 8), high = wasm_v128_or(g, wasm_i16x8_shl(b, 8));
    first = wasm_i16x8_shuffle(low, high, 0, 8, 1, 9, 2, 10, 3, 11);
    second = wasm_i16x8_shuffle(low, high, 4, 12, 5, 13, 6, 14, 7, 15);
}

template <int K> void expandBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 8; c.n -= 8, c.s += 16, c.d += 32) {
        v128_t a, b;
        expand8<K>(load128(c.s), a, b);
        store128(c.d, a);
        store128(c.d + 16, b);
    }
}

// Part (0, 1 or 2) of the 48 bytes that 16 32-bit pixels give as their lowest three bytes each,
// as a shuffle of registers part and part + 1 of the 4 pixels each.
constexpr Lanes lowThreeLanes(int part) {
    Lanes l{};
    for (int i = 0; i < 16; ++i) {
        const int j = 16 * part + i; // the destination byte
        l.at[i] = uint8_t(4 * (j / 3) + j % 3 - 16 * part);
    }
    return l;
}

// 16 pixels: expanded to 32 bits, the three low bytes of each joined into three stores.
template <int K>
void expand24Blocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    constexpr Lanes first = lowThreeLanes(0), second = lowThreeLanes(1), third = lowThreeLanes(2);
    for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 48) {
        v128_t p0, p1, p2, p3;
        expand8<K>(load128(c.s), p0, p1);
        expand8<K>(load128(c.s + 16), p2, p3);
        store128(c.d, shuffle<first>(p0, p1));
        store128(c.d + 16, shuffle<second>(p1, p2));
        store128(c.d + 32, shuffle<third>(p2, p3));
    }
}

// 8 pixels to 8 results of 16 bits, or of 8 bits in the low byte of each lane.
template <int K> inline v128_t repack8(v128_t q) {
    const auto shr = wasm_u16x8_shr;
    const auto shl = wasm_i16x8_shl;
    const auto mask = [](v128_t v, int m) { return wasm_v128_and(v, splat16(m)); };
    if constexpr (K == TO_BGR565)
        return wasm_v128_or(wasm_v128_or(shr(q, 11), mask(q, 0x7E0)), shl(q, 11));
    if constexpr (K == TO_ARGB1555) return wasm_v128_or(mask(shr(q, 1), 0x7FE0), mask(q, 0x1F));
    if constexpr (K == TO_ABGR1555)
        return wasm_v128_or(wasm_v128_or(shr(q, 11), mask(shr(q, 1), 0x3E0)),
                            mask(shl(q, 10), 0x7C00));
    if constexpr (K == TO_GREY8) {
        const v128_t sum =
            wasm_i16x8_add(wasm_i16x8_add(shr(q, 11), mask(shr(q, 5), 0x3F)), mask(q, 0x1F));
        return wasm_i16x8_add(sum, sum);
    }
    if constexpr (K == TO_RGB332)
        return wasm_v128_or(wasm_v128_or(mask(shr(q, 8), 0xE0), mask(shr(q, 6), 0x1C)),
                            mask(shr(q, 3), 0x3));
}

// 16 pixels a step; 8-bit results are at most 250, so the saturating pack is exact.
template <int K> void repackBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 16)
            store128(c.d, wasm_u8x16_narrow_i16x8(repack8<K>(load128(c.s)),
                                                  repack8<K>(load128(c.s + 16))));
    } else {
        for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 32) {
            store128(c.d, repack8<K>(load128(c.s)));
            store128(c.d + 16, repack8<K>(load128(c.s + 16)));
        }
    }
}

} // namespace

PTC_SIMD128_BLOCKS_THEN(rgb565_argb8888_simd128, expandBlocks<TO_ARGB8888>, rgb565_argb8888, 4)
PTC_SIMD128_BLOCKS_THEN(rgb565_abgr8888_simd128, expandBlocks<TO_ABGR8888>, rgb565_abgr8888, 4)
PTC_SIMD128_BLOCKS_THEN(rgb565_rgba8888_simd128, expandBlocks<TO_RGBA8888>, rgb565_rgba8888, 4)
PTC_SIMD128_BLOCKS_THEN(rgb565_bgra8888_simd128, expandBlocks<TO_BGRA8888>, rgb565_bgra8888, 4)
PTC_SIMD128_BLOCKS_THEN(rgb565_rgb888_simd128, expand24Blocks<TO_ARGB8888>, rgb565_rgb888, 3)
PTC_SIMD128_BLOCKS_THEN(rgb565_bgr888_simd128, expand24Blocks<TO_ABGR8888>, rgb565_bgr888, 3)
PTC_SIMD128_BLOCKS_THEN(rgb565_bgr565_simd128, repackBlocks<TO_BGR565>, rgb565_bgr565, 2)
PTC_SIMD128_BLOCKS_THEN(rgb565_argb1555_simd128, repackBlocks<TO_ARGB1555>, rgb565_argb1555, 2)
PTC_SIMD128_BLOCKS_THEN(rgb565_abgr1555_simd128, repackBlocks<TO_ABGR1555>, rgb565_abgr1555, 2)
PTC_SIMD128_BLOCKS_THEN(rgb565_grey8_simd128, repackBlocks<TO_GREY8>, rgb565_grey8, 1)
PTC_SIMD128_BLOCKS_THEN(rgb565_rgb332_simd128, repackBlocks<TO_RGB332>, rgb565_rgb332, 1)
