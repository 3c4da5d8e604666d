#pragma once
#include "conversion/ProcessorFeatures.h"
#include "conversion/Raster.h"

#include <cstdint>
#include <span>

// The route table: for every pair of formats with a hand-written routine, that routine at every
// instruction-set level. A converter takes its variant once, when it is made.

namespace conversion {

// One routine built for one instruction set.
struct Variant {
    LineRoutine line;
    AreaRoutine area;
};

// A routine at every level, scalar first; a level without a path of its own repeats the one
// below, so every entry is set.
struct Routine {
    bool readsLookup; // the indexed routines read their lookup, whatever the formats say
    Variant at[SIMD_LEVELS];
};

// One row: the routine for a source and a destination format id.
struct Route {
    int32_t source;
    int32_t destination;
    const Routine* routine;
};

// Every routine once, the copy first.
std::span<const Routine* const> routines();
// The byte copy between equal formats.
const Routine& copyRoutine();
// The row for a pair of ids, or null. GREY8 sources are given as INDEX8, whose rows they share.
const Routine* routeFor(int32_t source, int32_t destination);
// The indexed routine for a custom destination of 4, 3, 2 or 1 bytes per pixel, else null.
const Routine* indexedRoutineForSize(int32_t bytes);
// The routine that has this variant, or null.
const Routine* routineOf(LineRoutine variant);

} // namespace conversion
