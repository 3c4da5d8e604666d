#pragma once
#include <cstdint>

// Which instruction sets this processor runs, and the level new converters are made at.

namespace conversion {

// The instruction sets the routines have variants for, each including those before it: the
// processor's own, so a build has the levels of the processor it is built for.
#if defined(__wasm__)
// WebAssembly's 128-bit SIMD.
enum SimdLevel : int32_t { SIMD_NONE, SIMD_128 };
constexpr int32_t SIMD_LEVELS = SIMD_128 + 1;
#else
// SIMD_AVX512 means AVX-512 F, BW, VL and VBMI with BMI2 (byte permutes).
enum SimdLevel : int32_t { SIMD_NONE, SIMD_SSE2, SIMD_SSSE3, SIMD_AVX2, SIMD_AVX512 };
constexpr int32_t SIMD_LEVELS = SIMD_AVX512 + 1;
#endif

// The best level the processor and its operating system support, found once.
SimdLevel bestSimdLevel();
// The level converters are made at: the best, unless lowered to time or test the others.
SimdLevel simdLevel();
// Clamps to what the processor supports and returns the level now in use. Converters made
// before keep the variants they were made with.
SimdLevel setSimdLevel(SimdLevel level);
// "none", "SSE2", "SSSE3", "AVX2", "AVX-512"; "none", "SIMD128" in WebAssembly.
const char* simdLevelName(SimdLevel level);

} // namespace conversion
