#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Simd128.h"

// The routines from ARGB8888 with WebAssembly SIMD: byte reorders and 24-bit packs by constant
// byte shuffles, narrowing by shifts, masks and saturating packs that are exact on the ranges
// they see.

using namespace conversion;

namespace {

constexpr Lanes reorderLanes(int k) {
    Lanes l{};
    for (int i = 0; i < 16; ++i) l.at[i] = uint8_t(reorderControls[k][i]);
    return l;
}

template <int K> void reorderBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    constexpr Lanes lanes = reorderLanes(K);
    for (; c.n >= 8; c.n -= 8, c.s += 32, c.d += 32) {
        const v128_t p0 = load128(c.s), p1 = load128(c.s + 16);
        store128(c.d, shuffle<lanes>(p0, p0));
        store128(c.d + 16, shuffle<lanes>(p1, p1));
    }
}

// Part (0, 1 or 2) of the 48 bytes that 16 pixels pack to, as a shuffle of the two source
// registers it draws on: registers part and part + 1.
constexpr Lanes packLanes(int k, int part) {
    Lanes l{};
    for (int i = 0; i < 16; ++i) {
        const int j = 16 * part + i; // the destination byte
        l.at[i] = uint8_t(4 * (j / 3) + packControls[k][j % 3] - 16 * part);
    }
    return l;
}

template <int K> void packBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    constexpr Lanes first = packLanes(K, 0), second = packLanes(K, 1), third = packLanes(K, 2);
    for (; c.n >= 16; c.n -= 16, c.s += 64, c.d += 48) {
        const v128_t p0 = load128(c.s), p1 = load128(c.s + 16);
        const v128_t p2 = load128(c.s + 32), p3 = load128(c.s + 48);
        store128(c.d, shuffle<first>(p0, p1));
        store128(c.d + 16, shuffle<second>(p1, p2));
        store128(c.d + 32, shuffle<third>(p2, p3));
    }
}

// 4 ARGB8888 pixels to their 16- or 8-bit results, one per 32-bit lane.
template <int K, int T> inline v128_t term(v128_t p) {
    constexpr ChannelTerm t = narrowings[K].terms[T];
    v128_t v;
    if constexpr (t.shift >= 0)
        v = wasm_u32x4_shr(p, t.shift);
    else
        v = wasm_i32x4_shl(p, -t.shift);
    if constexpr (maskMatters<uint32_t>(t))
        v = wasm_v128_and(v, wasm_i32x4_const_splat(int32_t(t.mask)));
    return v;
}
template <int K> inline v128_t narrow(v128_t p) {
    return wasm_i32x4_add(wasm_i32x4_add(term<K, 0>(p), term<K, 1>(p)), term<K, 2>(p));
}

// 16 pixels a step. The results are at most 0xFFFF (16-bit) or 253 (8-bit): the saturating packs
// are exact.
template <int K> void narrowBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 16; c.n -= 16, c.s += 64) {
        const v128_t a = narrow<K>(load128(c.s)), b = narrow<K>(load128(c.s + 16));
        const v128_t e = narrow<K>(load128(c.s + 32)), f = narrow<K>(load128(c.s + 48));
        if constexpr (K == TO_GREY8 || K == TO_RGB332) {
            store128(c.d, wasm_u8x16_narrow_i16x8(wasm_u16x8_narrow_i32x4(a, b),
                                                  wasm_u16x8_narrow_i32x4(e, f)));
            c.d += 16;
        } else {
            store128(c.d, wasm_u16x8_narrow_i32x4(a, b));
            store128(c.d + 16, wasm_u16x8_narrow_i32x4(e, f));
            c.d += 32;
        }
    }
}

} // namespace

PTC_SIMD128_BLOCKS_THEN(argb8888_abgr8888_simd128, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888, 4)
PTC_SIMD128_BLOCKS_THEN(argb8888_rgba8888_simd128, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888, 4)
PTC_SIMD128_BLOCKS_THEN(argb8888_bgra8888_simd128, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888, 4)
PTC_SIMD128_BLOCKS_THEN(argb8888_rgb888_simd128, packBlocks<TO_RGB888>, argb8888_rgb888, 3)
PTC_SIMD128_BLOCKS_THEN(argb8888_bgr888_simd128, packBlocks<TO_BGR888>, argb8888_bgr888, 3)
PTC_SIMD128_BLOCKS_THEN(argb8888_rgb565_simd128, narrowBlocks<TO_RGB565>, argb8888_rgb565, 2)
PTC_SIMD128_BLOCKS_THEN(argb8888_bgr565_simd128, narrowBlocks<TO_BGR565>, argb8888_bgr565, 2)
PTC_SIMD128_BLOCKS_THEN(argb8888_argb1555_simd128, narrowBlocks<TO_ARGB1555>, argb8888_argb1555, 2)
PTC_SIMD128_BLOCKS_THEN(argb8888_abgr1555_simd128, narrowBlocks<TO_ABGR1555>, argb8888_abgr1555, 2)
PTC_SIMD128_BLOCKS_THEN(argb8888_grey8_simd128, narrowBlocks<TO_GREY8>, argb8888_grey8, 1)
PTC_SIMD128_BLOCKS_THEN(argb8888_rgb332_simd128, narrowBlocks<TO_RGB332>, argb8888_rgb332, 1)
