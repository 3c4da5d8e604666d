#include "conversion/Avx2.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The byte copy with AVX2: the destination aligned by the row walk, then four whole stores a
// step, the rest through the scalar copy, which also takes the runs it copies by string move.
// (An AVX-512 copy of the same shape was slower than this one at every size measured.)

using namespace conversion;
using Vector = Avx2Vector;

namespace {

void copyBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 128; c.n -= 128, c.s += 128, c.d += 128) {
        const __m256i a = load256(c.s), b = load256(c.s + 32);
        const __m256i e = load256(c.s + 64), f = load256(c.s + 96);
        store256(c.d, a);
        store256(c.d + 32, b);
        store256(c.d + 64, e);
        store256(c.d + 96, f);
    }
}

} // namespace

void convert_copy_avx2(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    if (n >= STRING_MOVE_FROM) return convert_copy(s, d, n, lookup);
    alignDestination<Vector::BYTES, 1>(s, d, n, lookup, convert_copy);
    copyBlocks(s, d, n);
    convert_copy(s, d, n, lookup);
}

void area_copy_avx2(AREA& area, const void* lookup) {
    walkArea<convert_copy_avx2, Vector, true>(area, lookup);
}
