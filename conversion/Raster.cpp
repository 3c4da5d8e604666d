#include "conversion/Raster.h"

#include "conversion/Routines.h"

#include <bit>
#include <climits>
#include <new>

namespace conversion {

ExpansionEntry expansion[4][256];

namespace {

constexpr int32_t TABLE_SIZE = LAST_RESERVED_ID - FIRST_FORMAT_ID + 1; // ids 1000..1025

struct Tables {
    RASTER::CONVERTER* sameFormat = nullptr; // indexed by destination id - 1000
    RASTER::CONVERTER* fromArgb8888 = nullptr;
    RASTER::CONVERTER* fromRgb565 = nullptr;
    RASTER::CONVERTER* fromIndexed = nullptr;
    RASTER::CONVERTER* indexedBySize = nullptr; // destinations of 4, 3, 2 and 1 bytes
};

int32_t instances = 0;
int32_t builds = 0;
Tables tables;

// The single-precision constants nearest 255/31 and 255/63; a product with a channel value is
// taken exactly (double holds it) and truncated, which gives 31 -> 254 rather than 255.
const double K5 = double(std::bit_cast<float>(uint32_t(0x41039ce7)));
const double K6 = double(std::bit_cast<float>(uint32_t(0x40818618)));

uint8_t widen(int32_t value, double k) {
    return uint8_t(int32_t(value * k));
}

uint32_t packed(const Format& format, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t bytes[4] = {};
    format.pack(r, g, b, 0, bytes, format.model);
    return load32(bytes);
}

struct Routines {
    int32_t destination;
    LineRoutine line;
    AreaRoutine area;
};

// Every pair with a hand-written routine, beside the same-format copies.
const Routines argb8888Routines[] = {
    {ABGR8888, convert_argb8888_abgr8888, area_argb8888_abgr8888},
    {BGRA8888, convert_argb8888_bgra8888, area_argb8888_bgra8888},
    {RGBA8888, convert_argb8888_rgba8888, area_argb8888_rgba8888},
    {RGB888, convert_argb8888_rgb888, area_argb8888_rgb888},
    {BGR888, convert_argb8888_bgr888, area_argb8888_bgr888},
    {RGB565, convert_argb8888_rgb565, area_argb8888_rgb565},
    {BGR565, convert_argb8888_bgr565, area_argb8888_bgr565},
    {ARGB1555, convert_argb8888_argb1555, area_argb8888_argb1555},
    {ABGR1555, convert_argb8888_abgr1555, area_argb8888_abgr1555},
    {GREY8, convert_argb8888_grey8, area_argb8888_grey8},
    {RGB332, convert_argb8888_rgb332, area_argb8888_rgb332},
};

const Routines rgb565Routines[] = {
    {ARGB8888, convert_rgb565_argb8888, area_rgb565_argb8888},
    {ABGR8888, convert_rgb565_abgr8888, area_rgb565_abgr8888},
    {BGRA8888, convert_rgb565_bgra8888, area_rgb565_bgra8888},
    {RGBA8888, convert_rgb565_rgba8888, area_rgb565_rgba8888},
    {RGB888, convert_rgb565_rgb888, area_rgb565_rgb888},
    {BGR888, convert_rgb565_bgr888, area_rgb565_bgr888},
    {BGR565, convert_rgb565_bgr565, area_rgb565_bgr565},
    {ARGB1555, convert_rgb565_argb1555, area_rgb565_argb1555},
    {ABGR1555, convert_rgb565_abgr1555, area_rgb565_abgr1555},
    {GREY8, convert_rgb565_grey8, area_rgb565_grey8},
    {RGB332, convert_rgb565_rgb332, area_rgb565_rgb332},
};

const Routines indexedRoutines[] = {
    {ARGB8888, convert_index8_32, area_index8_32},
    {ABGR8888, convert_index8_32, area_index8_32},
    {BGRA8888, convert_index8_32, area_index8_32},
    {RGBA8888, convert_index8_32, area_index8_32},
    {RGB888, convert_index8_24, area_index8_24},
    {BGR888, convert_index8_24, area_index8_24},
    {RGB565, convert_index8_16, area_index8_16},
    {BGR565, convert_index8_16, area_index8_16},
    {ARGB1555, convert_index8_16, area_index8_16},
    {ABGR1555, convert_index8_16, area_index8_16},
    {GREY8, convert_index8_8, area_index8_8},
    {RGB332, convert_index8_8, area_index8_8},
    // GREY8 sources share these rows, and GREY8 to INDEX8 is a plain byte copy.
    {INDEX8, convert_copy, area_copy},
};

// Indexed prototypes in the order of their destination sizes.
const Routines indexedBySizeRoutines[] = {
    {4, convert_index8_32, area_index8_32},
    {3, convert_index8_24, area_index8_24},
    {2, convert_index8_16, area_index8_16},
    {1, convert_index8_8, area_index8_8},
};

template <size_t N> void install(RASTER::CONVERTER* table, const Routines (&routines)[N]) {
    for (const Routines& r : routines) {
        table[r.destination - FIRST_FORMAT_ID].line = r.line;
        table[r.destination - FIRST_FORMAT_ID].area = r.area;
    }
}

void freeTables() {
    delete[] tables.sameFormat;
    delete[] tables.fromArgb8888;
    delete[] tables.fromRgb565;
    delete[] tables.fromIndexed;
    delete[] tables.indexedBySize;
    tables = Tables{};
}

void buildTables() {
    Tables t;
    t.sameFormat = new (std::nothrow) RASTER::CONVERTER[TABLE_SIZE];
    t.fromArgb8888 = new (std::nothrow) RASTER::CONVERTER[TABLE_SIZE];
    t.fromRgb565 = new (std::nothrow) RASTER::CONVERTER[TABLE_SIZE];
    t.fromIndexed = new (std::nothrow) RASTER::CONVERTER[TABLE_SIZE];
    t.indexedBySize = new (std::nothrow) RASTER::CONVERTER[4];
    tables = t;
    if (!t.sameFormat || !t.fromArgb8888 || !t.fromRgb565 || !t.fromIndexed || !t.indexedBySize) {
        // Without memory every request gets an empty converter.
        freeTables();
        return;
    }

    const Format argb8888(ARGB8888), rgb565(RGB565), index8(INDEX8);
    for (int32_t i = 0; i < TABLE_SIZE; ++i) {
        const Format destination(FIRST_FORMAT_ID + i); // 1022..1025 stay all zeros
        t.sameFormat[i].setFormats(destination, destination);
        t.fromArgb8888[i].setFormats(argb8888, destination);
        t.fromRgb565[i].setFormats(rgb565, destination);
        t.fromIndexed[i].setFormats(index8, destination);
    }
    for (int32_t i = 0; i < 4; ++i) {
        RASTER::CONVERTER& p = t.indexedBySize[i];
        p.setFormats(index8, Format());
        p.destination.bytes = indexedBySizeRoutines[i].destination;
        p.destination.bits = 8 * p.destination.bytes;
        p.line = indexedBySizeRoutines[i].line;
        p.area = indexedBySizeRoutines[i].area;
    }

    for (int32_t i = 0; i < TABLE_SIZE; ++i) {
        t.sameFormat[i].line = convert_copy;
        t.sameFormat[i].area = area_copy;
    }
    install(t.fromArgb8888, {Routines{ARGB8888, convert_copy, area_copy}});
    install(t.fromArgb8888, argb8888Routines);
    install(t.fromRgb565, {Routines{RGB565, convert_copy, area_copy}});
    install(t.fromRgb565, rgb565Routines);
    install(t.fromIndexed, indexedRoutines);

    fillExpansion(expansion[EXPAND_ARGB8888], Format(ARGB8888));
    fillExpansion(expansion[EXPAND_ABGR8888], Format(ABGR8888));
    fillExpansion(expansion[EXPAND_RGBA8888], Format(RGBA8888));
    fillExpansion(expansion[EXPAND_BGRA8888], Format(BGRA8888));
    ++builds;
}

const RASTER::CONVERTER* prototype(int32_t source, int32_t destination) {
    if (destination < FIRST_FORMAT_ID || destination > LAST_RESERVED_ID) return nullptr;
    const int32_t slot = destination - FIRST_FORMAT_ID;
    const RASTER::CONVERTER* table = nullptr;
    if (source == destination)
        table = tables.sameFormat;
    else if (source == ARGB8888)
        table = tables.fromArgb8888;
    else if (source == RGB565)
        table = tables.fromRgb565;
    else if (source == INDEX8 || source == GREY8)
        table = tables.fromIndexed;
    return table ? &table[slot] : nullptr;
}

const RASTER::CONVERTER* indexedPrototype(int32_t destinationBytes) {
    if (!tables.indexedBySize || destinationBytes < 1 || destinationBytes > 4) return nullptr;
    return &tables.indexedBySize[4 - destinationBytes];
}

bool readsLookup(LineRoutine line) {
    return line == convert_index8_32 || line == convert_index8_24 || line == convert_index8_16 ||
           line == convert_index8_8;
}

// Count x bytes per pixel, or false when the product leaves the 32-bit range.
bool scaleToBytes(int32_t& count, int32_t bytesPerPixel) {
    const int64_t bytes = int64_t(count) * bytesPerPixel;
    if (bytes > INT32_MAX || bytes < INT32_MIN) return false;
    count = int32_t(bytes);
    return true;
}

} // namespace

void fillExpansion(ExpansionEntry* table, const Format& format) {
    if (format.bits != 32) return;
    for (int32_t b = 0; b < 256; ++b) {
        table[b].lowWord = packed(format, 0, widen((b >> 5) & 7, K6), widen(b & 31, K5));
        table[b].highWord = packed(format, widen((b >> 3) & 31, K5), widen((b & 7) << 3, K6), 0);
    }
}

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
    return tables.sameFormat != nullptr;
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

RASTER::CONVERTER* RASTER::converter(const Format& source, const Format& destination) const {
    CONVERTER* converter = new (std::nothrow) CONVERTER;
    if (!converter) return nullptr;
    if (const CONVERTER* p = prototype(source.id, destination.id)) {
        *converter = *p; // the prototype's formats: a GREY8 source comes back as INDEX8
        if (!converter->line) converter->prepareGeneric();
        return converter;
    }
    if (source.id == INDEX8 || source.id == GREY8) {
        // A custom destination: chosen by its pixel size, or no routine at all.
        if (const CONVERTER* p = indexedPrototype(destination.bytes)) *converter = *p;
        return converter;
    }
    converter->setFormats(source, destination);
    if (converter->sameFormat && source.ok()) {
        converter->line = convert_copy;
        converter->area = area_copy;
    }
    if (!converter->line) converter->prepareGeneric();
    return converter; // no routine: the generic path, or a refusal
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
    return !lookup && (needsLookup || readsLookup(line));
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
