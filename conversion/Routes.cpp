#include "conversion/Routes.h"

#include "conversion/Routines.h"
#include "format/Format.h"

namespace conversion {

namespace {

// A variant by the routine's name and its instruction set's suffix (empty for the scalar one).
// Without the vector files (a processor other than x86, or WebAssembly built without SIMD) every
// level takes the scalar routine.
#if defined(PTC_SCALAR_ONLY)
#define PTC_VARIANT(name, suffix)                                                                  \
    Variant {                                                                                      \
        convert_##name, area_##name                                                                \
    }
#else
#define PTC_VARIANT(name, suffix)                                                                  \
    Variant {                                                                                      \
        convert_##name##suffix, area_##name##suffix                                                \
    }
#endif
// A routine of the list (Routines.h): whether it reads its lookup, then its variants.
// The levels are the processor's (ProcessorFeatures.h).
#if defined(__wasm__)
#define PTC_ROUTINE_READING(readsLookup, name, sse2, ssse3, avx2, avx512, simd128)                 \
    constexpr Routine name = {readsLookup, {PTC_VARIANT(name, ), PTC_VARIANT(name, simd128)}};
#else
#define PTC_ROUTINE_READING(readsLookup, name, sse2, ssse3, avx2, avx512, simd128)                 \
    constexpr Routine name = {readsLookup,                                                         \
                              {PTC_VARIANT(name, ), PTC_VARIANT(name, sse2),                       \
                               PTC_VARIANT(name, ssse3), PTC_VARIANT(name, avx2),                  \
                               PTC_VARIANT(name, avx512)}};
#endif
#define PTC_ROUTINE(...) PTC_ROUTINE_READING(false, __VA_ARGS__)
#define PTC_INDEXED(...) PTC_ROUTINE_READING(true, __VA_ARGS__)
#define PTC_LISTED(name, ...) &routine::name,

namespace routine {
PTC_ROUTINES(PTC_ROUTINE, PTC_INDEXED)
} // namespace routine

// Every routine, in the order of the list (the copy first).
constexpr const Routine* routineList[] = {PTC_ROUTINES(PTC_LISTED, PTC_LISTED)};

#undef PTC_LISTED
#undef PTC_INDEXED
#undef PTC_ROUTINE
#undef PTC_ROUTINE_READING
#undef PTC_VARIANT

using namespace routine;

constexpr Route routeTable[] = {
    {ARGB8888, ABGR8888, &argb8888_abgr8888},
    {ARGB8888, BGRA8888, &argb8888_bgra8888},
    {ARGB8888, RGBA8888, &argb8888_rgba8888},
    {ARGB8888, RGB888, &argb8888_rgb888},
    {ARGB8888, BGR888, &argb8888_bgr888},
    {ARGB8888, RGB565, &argb8888_rgb565},
    {ARGB8888, BGR565, &argb8888_bgr565},
    {ARGB8888, ARGB1555, &argb8888_argb1555},
    {ARGB8888, ABGR1555, &argb8888_abgr1555},
    {ARGB8888, GREY8, &argb8888_grey8},
    {ARGB8888, RGB332, &argb8888_rgb332},
    {RGB565, ARGB8888, &rgb565_argb8888},
    {RGB565, ABGR8888, &rgb565_abgr8888},
    {RGB565, BGRA8888, &rgb565_bgra8888},
    {RGB565, RGBA8888, &rgb565_rgba8888},
    {RGB565, RGB888, &rgb565_rgb888},
    {RGB565, BGR888, &rgb565_bgr888},
    {RGB565, BGR565, &rgb565_bgr565},
    {RGB565, ARGB1555, &rgb565_argb1555},
    {RGB565, ABGR1555, &rgb565_abgr1555},
    {RGB565, GREY8, &rgb565_grey8},
    {RGB565, RGB332, &rgb565_rgb332},
    {INDEX8, ARGB8888, &index8_32},
    {INDEX8, ABGR8888, &index8_32},
    {INDEX8, BGRA8888, &index8_32},
    {INDEX8, RGBA8888, &index8_32},
    {INDEX8, RGB888, &index8_24},
    {INDEX8, BGR888, &index8_24},
    {INDEX8, RGB565, &index8_16},
    {INDEX8, BGR565, &index8_16},
    {INDEX8, ARGB1555, &index8_16},
    {INDEX8, ABGR1555, &index8_16},
    {INDEX8, GREY8, &index8_8},
    {INDEX8, RGB332, &index8_8},
    // GREY8 sources share these rows, and GREY8 to INDEX8 is a plain byte copy.
    {INDEX8, INDEX8, &copy},
};

// The indexed routines by destination size, 1 to 4 bytes.
constexpr const Routine* indexedBySize[] = {&index8_8, &index8_16, &index8_24, &index8_32};

constexpr bool everyRoutineListed() {
    for (const Route& r : routeTable) {
        bool listed = false;
        for (const Routine* l : routineList) listed = listed || l == r.routine;
        if (!listed) return false;
    }
    return true;
}
static_assert(everyRoutineListed(), "the list of routines holds every routine of the table");

} // namespace

std::span<const Routine* const> routines() {
    return routineList;
}

const Routine& copyRoutine() {
    return copy;
}

const Routine* routeFor(int32_t source, int32_t destination) {
    for (const Route& r : routeTable)
        if (r.source == source && r.destination == destination) return r.routine;
    return nullptr;
}

const Routine* indexedRoutineForSize(int32_t bytes) {
    return bytes >= 1 && bytes <= 4 ? indexedBySize[bytes - 1] : nullptr;
}

const Routine* routineOf(LineRoutine variant) {
    for (const Routine* r : routineList)
        for (const Variant& v : r->at)
            if (v.line == variant) return r;
    return nullptr;
}

} // namespace conversion
