#include "conversion/Avx512.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The byte copy with AVX-512: the destination aligned by the row walk, then four whole stores a
// step, the rest through the scalar copy.

using namespace conversion;
using Vector = Avx512Vector;

namespace {

void copyBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 256; c.n -= 256, c.s += 256, c.d += 256) {
        const __m512i a = load512(c.s), b = load512(c.s + 64);
        const __m512i e = load512(c.s + 128), f = load512(c.s + 192);
        store512(c.d, a);
        store512(c.d + 64, b);
        store512(c.d + 128, e);
        store512(c.d + 192, f);
    }
}

} // namespace

void convert_copy_avx512(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    alignDestination<Vector::BYTES, 1>(s, d, n, lookup, convert_copy);
    copyBlocks(s, d, n);
    convert_copy(s, d, n, lookup);
}

void area_copy_avx512(AREA& area, const void* lookup) {
    walkArea<convert_copy_avx512, Vector, true>(area, lookup);
}
