#pragma once
#include "conversion/RowWalk.h"

#include <wasm_simd128.h>

#include <cstdint>

// What the WebAssembly SIMD variants share. Included only by files compiled for it (-msimd128).

namespace conversion {
namespace {

inline v128_t load128(const void* p) {
    return wasm_v128_load(p);
}
inline void store128(void* p, v128_t v) {
    wasm_v128_store(p, v);
}

// The bytes of a shuffle of two registers a and b: result byte i takes byte at[i] of the 32 of
// a then b. The engine turns a constant shuffle into the processor's own byte shuffle.
struct Lanes {
    uint8_t at[16];
};
template <Lanes L> inline v128_t shuffle(v128_t a, v128_t b) {
    return wasm_i8x16_shuffle(a, b, L.at[0], L.at[1], L.at[2], L.at[3], L.at[4], L.at[5], L.at[6],
                              L.at[7], L.at[8], L.at[9], L.at[10], L.at[11], L.at[12], L.at[13],
                              L.at[14], L.at[15]);
}

} // namespace
} // namespace conversion

// A variant that converts whole blocks (blocks(s, d, n) takes what it can and leaves the rest)
// into a destination aligned to 16 bytes, the pixels before that boundary and the rest after the
// blocks going to the scalar routine. WebAssembly has no stores that bypass the caches, so its
// areas are never streamed. Bytes: the destination's bytes per pixel.
#define PTC_SIMD128_BLOCKS_THEN(variant, blocks, rest, bytes)                                      \
    void convert_##variant(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {        \
        conversion::alignDestination<16, bytes>(s, d, n, lookup, convert_##rest);                  \
        blocks(s, d, n);                                                                           \
        convert_##rest(s, d, n, lookup);                                                           \
    }                                                                                              \
    PTC_DEFINE_AREA(variant)
