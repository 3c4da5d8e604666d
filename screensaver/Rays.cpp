#include "screensaver/Rays.h"

#include "platform/Platform.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

// Both Windows targets have SSE2 (the i686 build asks for it); so does every x86-64.
#if !defined(__SSE2__)
#error "SSE2 is required"
#endif
#include <emmintrin.h>

namespace {

// The effect's constants as the doubles its tables were designed with.
constexpr double pi = 3.141592653589793;
constexpr double inversePi = 0.3183098861837907;

// Stands in for a zero coordinate so that the arctangent and the distance stay defined; this is
// why the centre entry has angle 32 (45 degrees), not 0.
constexpr float nearZero = std::bit_cast<float>(uint32_t(0x358637BD)); // 1.0e-6f

uint8_t* rowAt(void* pixels, int32_t pitch, int32_t y) {
    return static_cast<uint8_t*>(pixels) + ptrdiff_t(y) * pitch;
}

const uint8_t* rowAt(const void* pixels, int32_t pitch, int32_t y) {
    return static_cast<const uint8_t*>(pixels) + ptrdiff_t(y) * pitch;
}

int32_t rayTableEntry(int32_t i, int32_t x) {
    float fx = float(x);
    if (fx == 0.0f) fx = nearZero;
    float fy = float(i * 1.2); // the vertical stretch of a 320x200 area on a 4:3 screen
    if (fy == 0.0f) fy = nearZero;
    const float distance = float(std::sqrt(double(fx) * fx + double(fy) * fy));
    const int32_t d = std::min(int32_t(std::floor(distance)), 254);
    const double q = std::atan(double(fy) / double(fx));
    // Right half: -64..63; left half: 64..191, so that modulo 256 the angle runs round the circle.
    const int32_t angle = x >= 0 ? int32_t(std::floor(q * inversePi * 0.5 * 256.0))
                                 : int32_t(127.0 - std::floor(-q * inversePi * 0.5 * 256.0));
    return angle * 256 + 254 - d;
}

// A light-map value v adds v to red and green and v / 2 to blue, each saturating at 255. SSE2 has
// no gather: the four light-map reads stay scalar, the rest runs four pixels at a time.
void addRaysToRow(uint32_t* row, const int32_t* entries, const uint8_t* lightMap) {
    static_assert(rayAreaWidth % 4 == 0);
    for (int32_t x = 0; x < rayAreaWidth; x += 4) {
        const __m128i v =
            _mm_set_epi32(lightMap[entries[x + 3] & 0xFFFF], lightMap[entries[x + 2] & 0xFFFF],
                          lightMap[entries[x + 1] & 0xFFFF], lightMap[entries[x] & 0xFFFF]);
        const __m128i addend = _mm_or_si128(
            _mm_or_si128(_mm_slli_epi32(v, 16), _mm_slli_epi32(v, 8)), _mm_srli_epi32(v, 1));
        __m128i* p = reinterpret_cast<__m128i*>(row + x);
        _mm_storeu_si128(p, _mm_adds_epu8(_mm_loadu_si128(p), addend));
    }
}

// Writes columns v..254 of a light-map row: column v + j gets j * 256 / n for j < n = 255 - v,
// computed as j * ceil(2^24 / n) / 2^16. The excess is below j / 2^16 < 1 / n, too little to reach
// the next integer, so this is exact for every n up to 256 and needs no division per byte.
void writeRamp(uint8_t* row, int32_t v) {
    constexpr int32_t end = lightMapColumns - 1; // column 255 is never written
    const uint32_t n = uint32_t(end - v);
    const uint32_t step = ((1u << 24) + n - 1) / n;
    int32_t column = v;
    uint32_t scaled = 0;
    // Sixteen columns at a time, as four vectors of the scaled numerators.
    const __m128i first = _mm_setr_epi32(0, int32_t(step), int32_t(2 * step), int32_t(3 * step));
    const __m128i four = _mm_set1_epi32(int32_t(4 * step));
    __m128i q0 = first, q1 = _mm_add_epi32(q0, four), q2 = _mm_add_epi32(q1, four),
            q3 = _mm_add_epi32(q2, four);
    const __m128i sixteen = _mm_set1_epi32(int32_t(16 * step));
    for (; column + 16 <= end; column += 16, scaled += 16 * step) {
        const __m128i low = _mm_packs_epi32(_mm_srli_epi32(q0, 16), _mm_srli_epi32(q1, 16));
        const __m128i high = _mm_packs_epi32(_mm_srli_epi32(q2, 16), _mm_srli_epi32(q3, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + column), _mm_packus_epi16(low, high));
        q0 = _mm_add_epi32(q0, sixteen);
        q1 = _mm_add_epi32(q1, sixteen);
        q2 = _mm_add_epi32(q2, sixteen);
        q3 = _mm_add_epi32(q3, sixteen);
    }
    for (; column < end; ++column, scaled += step) row[column] = uint8_t(scaled >> 16);
}

// Halves both words with the low bit of every byte dropped and adds them; the carry out of the
// top byte is lost with the 32-bit wrap-around.
inline uint32_t average(uint32_t p, uint32_t q) {
    return ((p & 0xFEFEFEFEu) + (q & 0xFEFEFEFEu)) >> 1;
}

inline __m128i average(__m128i p, __m128i q) {
    const __m128i mask = _mm_set1_epi32(int32_t(0xFEFEFEFEu));
    return _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(p, mask), _mm_and_si128(q, mask)), 1);
}

void doubleRow(uint32_t* top, uint32_t* bottom, const uint32_t* source, const uint32_t* below) {
    // The last source column has no right neighbour and is not doubled.
    constexpr int32_t columns = rayAreaWidth - 1;
    int32_t sx = 0;
    for (; sx + 4 <= columns; sx += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + sx));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + sx + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + sx));
        const __m128i h = average(a, b);
        const __m128i w = average(a, c);
        const __m128i hw = average(h, w);
        __m128i* t = reinterpret_cast<__m128i*>(top + 2 * sx);
        __m128i* u = reinterpret_cast<__m128i*>(bottom + 2 * sx);
        _mm_storeu_si128(t, _mm_unpacklo_epi32(a, h));
        _mm_storeu_si128(t + 1, _mm_unpackhi_epi32(a, h));
        _mm_storeu_si128(u, _mm_unpacklo_epi32(w, hw));
        _mm_storeu_si128(u + 1, _mm_unpackhi_epi32(w, hw));
    }
    for (; sx < columns; ++sx) {
        const uint32_t a = source[sx];
        const uint32_t h = average(a, source[sx + 1]);
        const uint32_t w = average(a, below[sx]);
        top[2 * sx] = a;
        top[2 * sx + 1] = h;
        bottom[2 * sx] = w;
        bottom[2 * sx + 1] = average(h, w);
    }
}

} // namespace

bool buildRayTable(RayTables& tables, void* (*allocate)(size_t)) {
    if (!allocate) allocate = std::malloc;
    std::unique_ptr<int32_t[], RayTables::FreeBlock> rayTable(
        static_cast<int32_t*>(allocate(rayTableEntries * sizeof(int32_t))));
    std::unique_ptr<uint8_t[], RayTables::FreeBlock> lightMap(
        static_cast<uint8_t*>(allocate(lightMapBytes)));
    if (!rayTable || !lightMap) return false;

    int32_t* entry = rayTable.get();
    for (int32_t i = -rayTableRows / 2; i < rayTableRows / 2; ++i)
        for (int32_t x = -rayTableColumns / 2; x < rayTableColumns / 2; ++x)
            *entry++ = rayTableEntry(i, x);
    // The first frame draws with this map, so it shows no rays.
    std::memset(lightMap.get(), 0, lightMapBytes);

    tables.rayTable = std::move(rayTable);
    tables.lightMap = std::move(lightMap);
    return true;
}

void clearCanvas(void* pixels, int32_t pitch, int32_t height) {
    for (int32_t y = 0; y < height; ++y)
        std::memset(rowAt(pixels, pitch, y), 0, rayAreaWidth * sizeof(uint32_t));
}

RayWindow rayWindow(uint32_t tick) {
    const double t = tick;
    // Periods of 25 s vertically and 23.5 s horizontally at 40 ticks per second: the factors are
    // 1 / 500 and 1 / 470.
    return {int32_t(46.0 * std::cos(t * pi * 0.002) + 50.0),
            int32_t(76.0 * std::sin(t * pi * 0.002127659574468085) + 80.0)};
}

uint32_t addRays(const RayTables& tables, void* pixels, int32_t pitch) {
    const uint32_t tick = rayTick(platform::milliseconds());
    addRays(tables, pixels, pitch, tick);
    return tick;
}

void addRays(const RayTables& tables, void* pixels, int32_t pitch, uint32_t tick) {
    addRays(tables, pixels, pitch, rayWindow(tick));
}

void addRays(const RayTables& tables, void* pixels, int32_t pitch, RayWindow window) {
    if (!tables.ok()) return;
    const int32_t rowStart = std::clamp(window.rowStart, 0, rayTableRows - rayAreaHeight);
    const int32_t colStart = std::clamp(window.colStart, 0, rayTableColumns - rayAreaWidth);
    const int32_t* entries =
        tables.rayTable.get() + ptrdiff_t(rowStart) * rayTableColumns + colStart;
    for (int32_t y = 0; y < rayAreaHeight; ++y, entries += rayTableColumns)
        addRaysToRow(reinterpret_cast<uint32_t*>(rowAt(pixels, pitch, y)), entries,
                     tables.lightMap.get());
}

void regenerateLightMap(RayTables& tables, uint32_t tick) {
    if (!tables.ok()) return;
    const double t = tick;
    // The 99999999 makes the two cosine terms run backwards in time.
    const double pulse = 31.0 * std::sin(pi / 32 * t) + 52.0;
    for (int32_t r = 0; r < lightMapRows; ++r) {
        const double s = (15.0 * std::cos(pi / 8 * (99999999.0 - t * 0.5 - r)) + 36.0) + pulse +
                         (36.0 + 15.0 * std::cos(pi / 16 * (99999999.0 - t - r * 0.5)));
        // s lies in 63..185; the clamp only keeps a wild value from leaving the row.
        const int32_t v = std::clamp(int32_t(s), 0, lightMapColumns - 2);
        uint8_t* row = tables.lightMap.get() + ptrdiff_t(r) * lightMapColumns;
        std::memset(row, 0, size_t(v));
        writeRamp(row, v);
    }
}

void doubleCanvas(void* screen, const void* canvas, int32_t pitch, int32_t rowOffset) {
    uint8_t* destination = rowAt(screen, pitch, rowOffset);
    for (int32_t sy = 0; sy < rayAreaHeight; ++sy)
        doubleRow(reinterpret_cast<uint32_t*>(rowAt(destination, pitch, 2 * sy)),
                  reinterpret_cast<uint32_t*>(rowAt(destination, pitch, 2 * sy + 1)),
                  reinterpret_cast<const uint32_t*>(rowAt(canvas, pitch, sy)),
                  reinterpret_cast<const uint32_t*>(rowAt(canvas, pitch, sy + 1)));
}
