#include "conversion/Raster.h"

#include "conversion/FromRgb565.h"
#include "conversion/Generic.h"
#include "conversion/RasterState.h"
#include "conversion/Routes.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <new>

namespace conversion {

namespace {

// A converter kept for one requested pair of formats at one instruction-set level.
struct Kept {
    Format source;
    Format destination;
    SimdLevel level;
    RASTER::CONVERTER converter;
};

// Far more pairs than a program uses; past them, requests make converters of their own.
constexpr int32_t KEPT_PAIRS = 64;

int32_t instances = 0;
int32_t builds = 0;
// Read by kept() on any thread; written only while no other thread converts.
std::atomic<bool> built{false};
// Filled from the front, each slot once; emptied only with the tables.
std::atomic<Kept*> keptPairs[KEPT_PAIRS];

void freeTables() {
    for (std::atomic<Kept*>& slot : keptPairs) delete slot.exchange(nullptr);
    built = false;
}

void buildTables() {
    fillExpansion(expansion[EXPAND_ARGB8888], Format(ARGB8888));
    fillExpansion(expansion[EXPAND_ABGR8888], Format(ABGR8888));
    fillExpansion(expansion[EXPAND_RGBA8888], Format(RGBA8888));
    fillExpansion(expansion[EXPAND_BGRA8888], Format(BGRA8888));
    built = true;
    ++builds;
}

// The requested pair, field by field: ids and layouts alike decide the converter.
bool sameFields(const Format& a, const Format& b) {
    return std::memcmp(&a, &b, sizeof(Format)) == 0;
}

bool keeps(const Kept& k, const Format& source, const Format& destination, SimdLevel level) {
    return k.level == level && sameFields(k.source, source) &&
           sameFields(k.destination, destination);
}

// The kept converter for the pair, or null.
const Kept* findKept(const Format& source, const Format& destination, SimdLevel level) {
    for (std::atomic<Kept*>& slot : keptPairs) {
        const Kept* k = slot.load(std::memory_order_acquire);
        if (!k) break;
        if (keeps(*k, source, destination, level)) return k;
    }
    return nullptr;
}

// Count x bytes per pixel, or false when the product leaves the 32-bit range.
bool scaleToBytes(int32_t& count, int32_t bytesPerPixel) {
    const int64_t bytes = int64_t(count) * bytesPerPixel;
    if (bytes > INT32_MAX || bytes < INT32_MIN) return false;
    count = int32_t(bytes);
    return true;
}

} // namespace

// The choice of formats and routine for a requested pair.
struct Selection {
    static void install(RASTER::CONVERTER& c, const Routine& routine, SimdLevel level) {
        c.line = routine.at[level].line;
        c.area = routine.at[level].area;
        c.routineReadsLookup = routine.readsLookup;
    }

    static void select(RASTER::CONVERTER& c, const Format& source, const Format& destination,
                       SimdLevel level) {
        const int32_t s = source.id, d = destination.id;
        const bool indexedSource = s == INDEX8 || s == GREY8;
        if (d >= FIRST_FORMAT_ID && d <= LAST_RESERVED_ID &&
            (s == d || s == ARGB8888 || s == RGB565 || indexedSource)) {
            // The table's formats, not the requester's: a GREY8 source comes back as INDEX8. A
            // reserved id stays all zeros.
            const int32_t from = s == d ? d : indexedSource ? INDEX8 : s;
            c.setFormats(Format(from), Format(d));
            if (const Routine* r = s == d ? &copyRoutine() : routeFor(from, d))
                install(c, *r, level);
        } else if (indexedSource) {
            // A custom destination: chosen by its pixel size, or no routine at all.
            if (const Routine* r = indexedRoutineForSize(destination.bytes)) {
                c.setFormats(Format(INDEX8), Format());
                c.destination.bytes = destination.bytes;
                c.destination.bits = 8 * destination.bytes;
                install(c, *r, level);
            }
            return;
        } else {
            c.setFormats(source, destination);
            if (c.sameFormat && source.ok()) install(c, copyRoutine(), level);
        }
        if (!c.line) c.prepareGeneric(); // the generic path, or a refusal
    }
};

void acquireTables() {
    if (instances++ == 0) buildTables();
}

void releaseTables() {
    if (instances <= 0) return;
    if (--instances == 0) freeTables();
}

int32_t instanceCount() {
    return instances;
}
bool tablesBuilt() {
    return built;
}
int32_t tableBuilds() {
    return builds;
}

} // namespace conversion

using namespace conversion;

RASTER::RASTER() {
    acquireTables();
}
RASTER::RASTER(const RASTER&) {
    acquireTables();
}
RASTER::~RASTER() {
    releaseTables();
}

const RASTER::CONVERTER* RASTER::kept(const Format& source, const Format& destination) const {
    if (!built) return nullptr;
    const SimdLevel level = simdLevel();
    Kept* made = nullptr;
    for (std::atomic<Kept*>& slot : keptPairs) {
        Kept* k = slot.load(std::memory_order_acquire);
        if (!k) {
            if (!made) {
                made = new (std::nothrow) Kept{source, destination, level, {}};
                if (!made) return nullptr;
                Selection::select(made->converter, source, destination, level);
            }
            if (slot.compare_exchange_strong(k, made, std::memory_order_acq_rel,
                                             std::memory_order_acquire))
                return &made->converter;
            // Another thread has just filled the slot: k is its pair.
        }
        if (keeps(*k, source, destination, level)) {
            delete made;
            return &k->converter;
        }
    }
    delete made;
    return nullptr;
}

RASTER::CONVERTER* RASTER::converter(const Format& source, const Format& destination) const {
    CONVERTER* converter = new (std::nothrow) CONVERTER;
    if (!converter) return nullptr;
    // A copy of a kept converter shares its generic tables rather than building them again. A
    // pair not kept is not made so here: the requester's allocations stay its own.
    const SimdLevel level = simdLevel();
    if (const Kept* k = built ? findKept(source, destination, level) : nullptr)
        *converter = k->converter;
    else
        Selection::select(*converter, source, destination, level);
    return converter;
}

RASTER::CONVERTER::CONVERTER() = default;

void RASTER::CONVERTER::setFormats(const Format& sourceFormat, const Format& destinationFormat) {
    source = sourceFormat;
    destination = destinationFormat;
    sameFormat = source == destination;
    needsLookup = source.type == INDEXED && destination.type != INDEXED;
}

// An indexed-to-indexed routine reads its lookup although the flag says none is needed; a null
// lookup is refused there too rather than read through.
bool RASTER::CONVERTER::lookupMissing(const void* lookup) const {
    return !lookup && (needsLookup || (line && routineReadsLookup));
}

bool RASTER::CONVERTER::convertLine(const uint8_t* sourcePixels, uint8_t* destinationPixels,
                                    int32_t count, const void* lookup) const {
    if (line) {
        line(sourcePixels, destinationPixels, count, lookup);
        return true;
    }
    if (!genericApplies()) return false;
    if (generic && generic->builtFor(source, destination)) {
        generic->convert(sourcePixels, destinationPixels, count);
        return true;
    }
    convertGeneric(source, destination, sourcePixels, destinationPixels, count);
    return true;
}

// Without the tables (pixels wider than four bytes, or no memory) the per-pixel path serves.
void RASTER::CONVERTER::prepareGeneric() {
    if (!genericApplies()) return;
    auto* path = new (std::nothrow) GenericPath(source, destination);
    if (!path) return;
    if (!path->build()) {
        delete path;
        return;
    }
    try {
        generic.reset(path);
    } catch (const std::bad_alloc&) {
        // reset has deleted the path; the per-pixel path serves
    }
}

// Unpack and pack only work in the RGB model; another model would leave the components unset.
bool RASTER::CONVERTER::genericApplies() const {
    return source.type == DIRECT && destination.type == DIRECT && !sameFormat &&
           source.model == RGB_MODEL && destination.model == RGB_MODEL;
}

int32_t RASTER::CONVERTER::convert(const void* sourcePixels, void* destinationPixels, int32_t count,
                                   const void* lookup) const {
    if (sameFormat && !scaleToBytes(count, source.bytes)) return 0;
    if (lookupMissing(lookup)) return 0;
    return convertLine(static_cast<const uint8_t*>(sourcePixels),
                       static_cast<uint8_t*>(destinationPixels), count, lookup);
}

int32_t RASTER::CONVERTER::convertArea(AREA rectangle) const {
    if (sameFormat && !scaleToBytes(rectangle.width, source.bytes)) return 0;
    if (lookupMissing(rectangle.lookup)) return 0;
    if (area) {
        area(rectangle, rectangle.lookup);
        return 1;
    }
    if (destination.type == FAKEMODE) return 0;
    // Rows that cannot be converted are reported, not silently skipped.
    if (!line && !genericApplies()) return 0;
    const uint8_t* sourceRow = static_cast<const uint8_t*>(rectangle.source);
    uint8_t* destinationRow = static_cast<uint8_t*>(rectangle.destination);
    for (int32_t y = 0; y < rectangle.height; ++y) {
        convertLine(sourceRow, destinationRow, rectangle.width, rectangle.lookup);
        sourceRow += rectangle.sourcePitch;
        destinationRow += rectangle.destinationPitch;
    }
    return 1;
}
