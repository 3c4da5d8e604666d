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
#define PTC_DECLARE_WITH(name, isa) PTC_DECLARE_ROUTINE(name##_##isa)

namespace conversion {
// Areas whose destination holds at least this many bytes are written with streaming stores,
// which bypass the caches; smaller ones stay cached, since the next step (a copy to the screen)
// reads them. Chosen from bench_conversion --stream-from on an AMD EPYC with AVX-512 and 32 MiB
// of last-level cache per core group: there frames of 1920x1080 and 3840x2400 pixels, reused or
// cycled through main memory, converted and copied as fast or faster through the cache (by 5
// to 25%), so only frames far beyond such a cache stream. The processor's own report of its
// last-level cache is no guide on the virtual machines measured.
inline constexpr int64_t STREAM_FROM = int64_t(64) << 20;

// The size in force: STREAM_FROM unless set otherwise, as tests and benchmarks do to exercise
// and time the streaming path. Returns the size it replaces.
int64_t streamingFrom();
int64_t setStreamingFrom(int64_t bytes);
} // namespace conversion

PTC_DECLARE_ROUTINE(copy)

// From ARGB8888.
#define PTC_DECLARE_ALL(name)                                                                      \
    PTC_DECLARE_ROUTINE(name)                                                                      \
    PTC_DECLARE_WITH(name, sse2)                                                                   \
    PTC_DECLARE_WITH(name, ssse3) PTC_DECLARE_WITH(name, avx2) PTC_DECLARE_WITH(name, avx512)
#define PTC_DECLARE_NO_SSSE3(name)                                                                 \
    PTC_DECLARE_ROUTINE(name)                                                                      \
    PTC_DECLARE_WITH(name, sse2) PTC_DECLARE_WITH(name, avx2) PTC_DECLARE_WITH(name, avx512)
PTC_DECLARE_ALL(argb8888_abgr8888)
PTC_DECLARE_ALL(argb8888_bgra8888)
PTC_DECLARE_ALL(argb8888_rgba8888)
PTC_DECLARE_ALL(argb8888_rgb888)
PTC_DECLARE_ALL(argb8888_bgr888)
PTC_DECLARE_ALL(argb8888_rgb565)
PTC_DECLARE_ALL(argb8888_bgr565)
PTC_DECLARE_ALL(argb8888_argb1555)
PTC_DECLARE_ALL(argb8888_abgr1555)
PTC_DECLARE_ALL(argb8888_grey8)
PTC_DECLARE_ALL(argb8888_rgb332)

// From RGB565.
PTC_DECLARE_NO_SSSE3(rgb565_argb8888)
PTC_DECLARE_NO_SSSE3(rgb565_abgr8888)
PTC_DECLARE_NO_SSSE3(rgb565_bgra8888)
PTC_DECLARE_NO_SSSE3(rgb565_rgba8888)
PTC_DECLARE_ALL(rgb565_rgb888)
PTC_DECLARE_ALL(rgb565_bgr888)
#define PTC_DECLARE_SSE2_AVX2(name)                                                                \
    PTC_DECLARE_ROUTINE(name) PTC_DECLARE_WITH(name, sse2) PTC_DECLARE_WITH(name, avx2)
PTC_DECLARE_SSE2_AVX2(rgb565_bgr565)
PTC_DECLARE_SSE2_AVX2(rgb565_argb1555)
PTC_DECLARE_SSE2_AVX2(rgb565_abgr1555)
PTC_DECLARE_NO_SSSE3(rgb565_grey8)
PTC_DECLARE_NO_SSSE3(rgb565_rgb332)

// From 8-bit indices.
#define PTC_DECLARE_AVX512(name) PTC_DECLARE_ROUTINE(name) PTC_DECLARE_WITH(name, avx512)
PTC_DECLARE_AVX512(index8_32)
PTC_DECLARE_AVX512(index8_24)
PTC_DECLARE_AVX512(index8_16)
PTC_DECLARE_AVX512(index8_8)
PTC_DECLARE_WITH(index8_8, avx2)

#undef PTC_DECLARE_ALL
#undef PTC_DECLARE_NO_SSSE3
#undef PTC_DECLARE_SSE2_AVX2
#undef PTC_DECLARE_AVX512
#undef PTC_DECLARE_WITH
#undef PTC_DECLARE_ROUTINE
