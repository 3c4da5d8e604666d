#include "conversion/ProcessorFeatures.h"

#include <atomic>

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
#elif defined(PTC_SIMD128)
    // An engine without SIMD refuses the whole module that holds its instructions: one that
    // runs has them.
    return SIMD_128;
#endif
    return SIMD_NONE;
}

#if defined(__wasm__)
constexpr const char* names[SIMD_LEVELS] = {"none", "SIMD128"};
#else
constexpr const char* names[SIMD_LEVELS] = {"none", "SSE2", "SSSE3", "AVX2", "AVX-512"};
#endif

// Read by converters made on any thread; lowered only by tests and benchmarks.
std::atomic<SimdLevel>& current() {
    static std::atomic<SimdLevel> level{bestSimdLevel()};
    return level;
}

} // namespace

SimdLevel bestSimdLevel() {
    static const SimdLevel best = detect();
    return best;
}

SimdLevel simdLevel() {
    return current().load(std::memory_order_relaxed);
}

SimdLevel setSimdLevel(SimdLevel level) {
    const SimdLevel chosen = level < bestSimdLevel() ? level : bestSimdLevel();
    current().store(chosen, std::memory_order_relaxed);
    return chosen;
}

const char* simdLevelName(SimdLevel level) {
    return level >= 0 && level < SIMD_LEVELS ? names[level] : "?";
}

} // namespace conversion
