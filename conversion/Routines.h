#pragma once
#include "conversion/Raster.h"

#include <cstdint>

// Every conversion routine, each at every instruction set it has a variant for: the scalar one
// under the routine's own name, the others with the instruction set's suffix. Internal to the
// conversion subsystem (and its tests): the route table picks among them, everyone else reaches
// them through RASTER::CONVERTER.

// Line routine (source cursor, destination cursor, count, lookup) and area routine; see
// LineRoutine and AreaRoutine.
#define PTC_DECLARE_ROUTINE(name)                                                                  \
    void convert_##name(const uint8_t*& source, uint8_t*& destination, int32_t count,              \
                        const void* lookup);                                                       \
    void area_##name(AREA& area, const void* lookup);

namespace conversion {
// Areas whose destination holds at least this many bytes are written with streaming stores,
// which bypass the caches; smaller ones stay cached, since the next step (a copy to the screen)
// reads them. Chosen from bench_conversion timed both ways (--stream-from) on an AMD EPYC
// (Zen 5) with 32 MiB of last-level cache per core group: frames of 1920x1080 (and in one
// trial 3840x2400) pixels, reused or cycled through main memory, converted and copied as fast
// or faster through the cache (by 5 to 25%), so only frames far beyond such a cache stream.
// The processor's own report of its last-level cache is no guide on the virtual machines
// measured.
inline constexpr int64_t STREAM_FROM = int64_t(64) << 20;

// The size in force: STREAM_FROM unless set otherwise, as tests and benchmarks do to exercise
// and time the streaming path. Returns the size it replaces.
int64_t streamingFrom();
int64_t setStreamingFrom(int64_t bytes);

// Copies of this many bytes and more (about a core's second-level cache) go through the string
// move instruction: measured on a quiet machine it beats the C library's copy there, by about a
// fifth from main memory, where the library turns to stores that bypass the cache.
inline constexpr int32_t STRING_MOVE_FROM = 512 * 1024;
} // namespace conversion

// Every routine once, with the variant each level takes: the suffix of its name at SSE2, SSSE3,
// AVX2 and AVX-512, then at WebAssembly's SIMD128, empty for the scalar routine. A level takes
// the variant of a level below where its own was no faster (bench_conversion's line "slower at a
// higher instruction set"; in the browser for SIMD128).
// ROUTINE for the routines that read no lookup, INDEXED for those that do. This list declares
// the variants below and builds the route table (Routes.cpp).
#define PTC_ROUTINES(ROUTINE, INDEXED)                                                             \
    ROUTINE(copy, , , _avx2, _avx2, )                                                              \
    ROUTINE(argb8888_abgr8888, _sse2, _ssse3, _avx2, _avx2, _simd128)                              \
    ROUTINE(argb8888_bgra8888, _sse2, _ssse3, _avx2, _avx2, _simd128)                              \
    ROUTINE(argb8888_rgba8888, _sse2, _ssse3, _avx2, _avx2, _simd128)                              \
    ROUTINE(argb8888_rgb888, _sse2, _ssse3, _avx2, _avx2, _simd128)                                \
    ROUTINE(argb8888_bgr888, _sse2, _ssse3, _avx2, _avx2, _simd128)                                \
    ROUTINE(argb8888_rgb565, _sse2, _ssse3, _avx2, _avx2, _simd128)                                \
    ROUTINE(argb8888_bgr565, _sse2, _ssse3, _avx2, _avx2, _simd128)                                \
    ROUTINE(argb8888_argb1555, _sse2, _ssse3, _avx2, _avx2, _simd128)                              \
    ROUTINE(argb8888_abgr1555, _sse2, _ssse3, _avx2, _avx2, _simd128)                              \
    ROUTINE(argb8888_grey8, _sse2, _ssse3, _avx2, _avx2, _simd128)                                 \
    ROUTINE(argb8888_rgb332, _sse2, _ssse3, _avx2, _avx2, _simd128)                                \
    ROUTINE(rgb565_argb8888, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_abgr8888, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_bgra8888, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_rgba8888, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_rgb888, _sse2, _ssse3, _avx2, _avx512, _simd128)                                \
    ROUTINE(rgb565_bgr888, _sse2, _ssse3, _avx2, _avx512, _simd128)                                \
    ROUTINE(rgb565_bgr565, _sse2, _sse2, _avx2, _avx2, _simd128)                                   \
    ROUTINE(rgb565_argb1555, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_abgr1555, _sse2, _sse2, _avx2, _avx2, _simd128)                                 \
    ROUTINE(rgb565_grey8, _sse2, _sse2, _avx2, _avx512, _simd128)                                  \
    ROUTINE(rgb565_rgb332, _sse2, _sse2, _avx2, _avx512, _simd128)                                 \
    /* Below AVX-512 the 4-, 3- and 2-byte lookups stay scalar: on the processors measured */      \
    /* that beat gathers and byte-plane shuffles (FromIndex8_avx2.cpp). */                         \
    INDEXED(index8_32, , , , _avx512, )                                                            \
    INDEXED(index8_24, , , , _avx512, )                                                            \
    INDEXED(index8_16, , , , _avx512, )                                                            \
    INDEXED(index8_8, , , _avx2, _avx512, )

// A suffix may repeat (a level taking a lower one's variant) or be empty: a declaration may be
// repeated.
#define PTC_DECLARE_VARIANTS(name, sse2, ssse3, avx2, avx512, simd128)                             \
    PTC_DECLARE_ROUTINE(name)                                                                      \
    PTC_DECLARE_ROUTINE(name##sse2)                                                                \
    PTC_DECLARE_ROUTINE(name##ssse3)                                                               \
    PTC_DECLARE_ROUTINE(name##avx2)                                                                \
    PTC_DECLARE_ROUTINE(name##avx512)                                                              \
    PTC_DECLARE_ROUTINE(name##simd128)
PTC_ROUTINES(PTC_DECLARE_VARIANTS, PTC_DECLARE_VARIANTS)

#undef PTC_DECLARE_VARIANTS
#undef PTC_DECLARE_ROUTINE
