#include "conversion/Avx512.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The indexed routines with AVX-512: the whole lookup fits in registers and byte permutes do the
// lookups. The table is split into byte planes, byte b of all 256 entries in four registers, and
// one lookup of 64 indices in a plane is two two-register permutes and a blend on the index's top
// bit. The planes' bytes are then interleaved into pixels. Only whole blocks of 64 indices go
// this way, with plain loads and stores (masked ones are slow on some processors, AMD's Zen 4
// among them); the pixels around them go through the narrower routine.

using namespace conversion;
using Vector = Avx512Vector;

namespace {

// Per 32 entries, bytes b of the entries in the low half and bytes b + 1 in the high half.
alignas(64) constexpr std::array<uint8_t, 64> twoBytes = [] {
    std::array<uint8_t, 64> control{};
    for (int k = 0; k < 64; ++k) control[size_t(k)] = uint8_t(4 * (k % 32) + k / 32);
    return control;
}();

// Splits the table into the planes of bytes b and b + 1.
inline void loadPlanes(const uint32_t* table, int b, ByteTable* low, ByteTable* high) {
    const __m512i control = _mm512_add_epi8(load512(twoBytes.data()), _mm512_set1_epi8(char(b)));
    for (int k = 0; k < 4; ++k) {
        const uint32_t* entries = table + 64 * k;
        const __m512i first =
            _mm512_permutex2var_epi8(load512(entries), control, load512(entries + 16));
        const __m512i second =
            _mm512_permutex2var_epi8(load512(entries + 32), control, load512(entries + 48));
        // The low halves of both make the 64 bytes b, the high halves the bytes b + 1.
        low->t[k] = shuffleLanes<0x44>(first, second);
        if (high) high->t[k] = shuffleLanes<0xEE>(first, second);
    }
}

// The in-lane byte and word unpacks interleave bytes of one 16-byte lane; indices spread
// first so that the unpacked pixels come out in order. With g pixels per lane of an output
// register (8 of 16 bits, 4 of 32), byte m of group q of lane l makes pixel 4g q + g l + m.
template <int G> constexpr std::array<uint8_t, 64> spreadFor() {
    std::array<uint8_t, 64> control{};
    for (int k = 0; k < 64; ++k)
        control[size_t(k)] = uint8_t(4 * G * (k % 16 / G) + G * (k / 16) + k % G);
    return control;
}
alignas(64) constexpr std::array<uint8_t, 64> spreadWords = spreadFor<8>();
alignas(64) constexpr std::array<uint8_t, 64> spreadDoublewords = spreadFor<4>();

// Byte j of 192 bytes of 24-bit pixels is byte c = j % 3 of pixel p = j / 3: from the first
// plane (index p) or the second (64 + p) by a two-register permute, the third plane's bytes
// then put in by a one-register permute, which reads the same control's low six bits.
alignas(64) constexpr std::array<uint8_t, 192> threePlanes = [] {
    std::array<uint8_t, 192> control{};
    for (int j = 0; j < 192; ++j) control[size_t(j)] = uint8_t(j / 3 + (j % 3 == 1 ? 64 : 0));
    return control;
}();
// The bytes of output register r that come from the third plane.
constexpr uint64_t thirdBytes(int r) {
    uint64_t mask = 0;
    for (int j = 0; j < 64; ++j)
        if ((64 * r + j) % 3 == 2) mask |= uint64_t(1) << j;
    return mask;
}

// Runs block over the whole blocks of 64 indices; the rest is the caller's.
template <int Bytes, class Block> inline void blocksOf64(Cursors& c, const Block& block) {
    for (; c.n >= 64; c.n -= 64, c.s += 64, c.d += 64 * Bytes) block.run(c.s, c.d);
}

struct Words16 {
    ByteTable low, high;
    __m512i spread;
    void run(const uint8_t* s, uint8_t* d) const {
        const __m512i i = permuteBytes(spread, load512(s));
        const __mmask64 top = _mm512_movepi8_mask(i);
        const __m512i lo = lookupBytes(low, i, top), hi = lookupBytes(high, i, top);
        store512(d, _mm512_unpacklo_epi8(lo, hi));
        store512(d + 64, _mm512_unpackhi_epi8(lo, hi));
    }
};

struct Words32 {
    ByteTable p0, p1, p2, p3;
    __m512i spread;
    void run(const uint8_t* s, uint8_t* d) const {
        const __m512i i = permuteBytes(spread, load512(s));
        const __mmask64 top = _mm512_movepi8_mask(i);
        const __m512i b0 = lookupBytes(p0, i, top), b1 = lookupBytes(p1, i, top);
        const __m512i b2 = lookupBytes(p2, i, top), b3 = lookupBytes(p3, i, top);
        const __m512i w0 = _mm512_unpacklo_epi8(b0, b1), w1 = _mm512_unpackhi_epi8(b0, b1);
        const __m512i v0 = _mm512_unpacklo_epi8(b2, b3), v1 = _mm512_unpackhi_epi8(b2, b3);
        store512(d, _mm512_unpacklo_epi16(w0, v0));
        store512(d + 64, _mm512_unpackhi_epi16(w0, v0));
        store512(d + 128, _mm512_unpacklo_epi16(w1, v1));
        store512(d + 192, _mm512_unpackhi_epi16(w1, v1));
    }
};

struct Words24 {
    ByteTable p0, p1, p2;
    __m512i control[3];
    __mmask64 third[3];
    void run(const uint8_t* s, uint8_t* d) const {
        const __m512i i = load512(s);
        const __mmask64 top = _mm512_movepi8_mask(i);
        const __m512i b0 = lookupBytes(p0, i, top), b1 = lookupBytes(p1, i, top);
        const __m512i b2 = lookupBytes(p2, i, top);
        for (int r = 0; r < 3; ++r)
            store512(d + 64 * r,
                     _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(b0, control[r], b1),
                                                  third[r], control[r], b2));
    }
};

struct Bytes8 {
    ByteTable p;
    void run(const uint8_t* s, uint8_t* d) const {
        const __m512i i = load512(s);
        store512(d, lookupBytes(p, i, _mm512_movepi8_mask(i)));
    }
};

void words16Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    Words16 block;
    loadPlanes(table, 0, &block.low, &block.high);
    block.spread = load512(spreadWords.data());
    blocksOf64<2>(c, block);
}

void words32Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    Words32 block;
    loadPlanes(table, 0, &block.p0, &block.p1);
    loadPlanes(table, 2, &block.p2, &block.p3);
    block.spread = load512(spreadDoublewords.data());
    blocksOf64<4>(c, block);
}

void words24Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    Words24 block;
    loadPlanes(table, 0, &block.p0, &block.p1);
    loadPlanes(table, 2, &block.p2, nullptr);
    for (int r = 0; r < 3; ++r) {
        block.control[r] = load512(threePlanes.data() + 64 * r);
        block.third[r] = thirdBytes(r);
    }
    blocksOf64<3>(c, block);
}

void bytesAvx512(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint8_t* table) {
    Cursors c(s, d, n);
    const Bytes8 block = {loadByteTable(table)};
    blocksOf64<1>(c, block);
}

} // namespace

// Rest: the variant that takes the pixels before the destination's first 64-byte boundary and
// those after the last whole block (below AVX-512 only the 8-bit lookup has a vector one).
#define PTC_INDEXED_AVX512(name, blocks, Table, bytes, rest)                                       \
    void convert_##name##_avx512(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {  \
        alignDestination<Vector::BYTES, bytes>(s, d, n, lookup, convert_##rest);                   \
        if (n >= 64) blocks(s, d, n, static_cast<const Table*>(lookup));                           \
        convert_##rest(s, d, n, lookup);                                                           \
    }                                                                                              \
    PTC_DEFINE_STREAMED_AREA(name##_avx512)

PTC_INDEXED_AVX512(index8_32, words32Avx512, uint32_t, 4, index8_32)
PTC_INDEXED_AVX512(index8_24, words24Avx512, uint32_t, 3, index8_24)
PTC_INDEXED_AVX512(index8_16, words16Avx512, uint32_t, 2, index8_16)
PTC_INDEXED_AVX512(index8_8, bytesAvx512, uint8_t, 1, index8_8_avx2)
