#include "conversion/Routines.h"

namespace conversion {

namespace {

SimdLevel detect() {
#if defined(__x86_64__) || defined(__i386__)
    // GCC's check includes the operating system's consent to save the wide registers.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("bmi2"))
        return SIMD_AVX512;
    if (__builtin_cpu_supports("avx2")) return SIMD_AVX2;
    if (__builtin_cpu_supports("ssse3")) return SIMD_SSSE3;
    if (__builtin_cpu_supports("sse2")) return SIMD_SSE2;
#endif
    return SIMD_NONE;
}

SimdLevel& current() {
    static SimdLevel level = detect();
    return level;
}

} // namespace

SimdLevel bestSimdLevel() {
    static const SimdLevel best = detect();
    return best;
}

SimdLevel simdLevel() {
    return current();
}

SimdLevel setSimdLevel(SimdLevel level) {
    current() = level < bestSimdLevel() ? level : bestSimdLevel();
    return current();
}

} // namespace conversion
