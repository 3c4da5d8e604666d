#include "display/Palette.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t COLOUR_BYTES = Palette::COLOURS * sizeof(uint32_t);

// Zero until a test installs one: constant-initialised, so ready before any dynamic initialiser.
PaletteAllocator installedAllocator = nullptr;

void* allocate(std::size_t bytes) {
    return installedAllocator ? installedAllocator(bytes) : std::malloc(bytes);
}

uint32_t* allocateColours() {
    return static_cast<uint32_t*>(allocate(COLOUR_BYTES));
}

// Grey weights as single-precision floats: 1/255 and 0.33333. The second is a little below a
// third, which is why a grey m maps to m - 1 and white to 254.
constexpr float ONE_255TH = std::bit_cast<float>(0x3B808081u);
constexpr float ONE_THIRD = std::bit_cast<float>(0x3EAAAA3Bu);

uint8_t grey(uint8_t r, uint8_t g, uint8_t b) {
    double sum = double(r) * ONE_255TH * ONE_THIRD + double(g) * ONE_255TH * ONE_THIRD +
                 double(b) * ONE_255TH * ONE_THIRD;
    return uint8_t(sum * 255.0);
}

// FAKEMODE1 and 3: red, green and blue each index their own 64-entry band of the display
// palette (0..63, 64..127, 128..191).
uint32_t fakeModeBands(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(r >> 2) << 16 | uint32_t(0x40 + (g >> 2)) << 8 | uint32_t(0x80 + (b >> 2));
}

// FAKEMODE2: red's top four bits in bits 3..6 and blue's top three in bits 0..2 of one index,
// green's top five bits in 128..159 of the other.
uint32_t fakeModeSplit(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t((r & 0xF0) >> 1) << 16 | uint32_t(0x80 | (g >> 3)) << 8 | uint32_t(b >> 5);
}

void storeWord(uint8_t* entry, uint32_t word) {
    for (int i = 0; i < 4; ++i) entry[i] = uint8_t(word >> (8 * i));
}

enum class Builder { Pack, FakeModeBands, FakeModeSplit, Grey, Zero };

// Chosen by format equality, the same test the cache uses, so two formats that share a cache
// slot are always built alike.
Builder builderFor(const Format& f) {
    if (f.type == DIRECT) return Builder::Pack;
    if (f == Format(FAKEMODE1A) || f == Format(FAKEMODE3A)) return Builder::FakeModeBands;
    if (f == Format(FAKEMODE2A)) return Builder::FakeModeSplit;
    if (f == Format(GREY8)) return Builder::Grey;
    return Builder::Zero;
}

} // namespace

void setPaletteAllocator(PaletteAllocator allocator) {
    installedAllocator = allocator;
}

void* Palette::LOOKUP::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void Palette::LOOKUP::operator delete(void* p) noexcept {
    std::free(p);
}
void Palette::LOOKUP::operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
Palette::LOOKUP::~LOOKUP() {
    std::free(table);
}

Palette::Palette() : colours(allocateColours()), locks(0), references(0) {
    if (colours) std::memset(colours, 0, COLOUR_BYTES);
}

Palette::Palette(const Palette& other) : colours(allocateColours()), locks(0), references(0) {
    if (!colours) return;
    // A copy of a palette without colours starts out black rather than uninitialised.
    if (other.colours)
        std::memcpy(colours, other.colours, COLOUR_BYTES);
    else
        std::memset(colours, 0, COLOUR_BYTES);
}

Palette::~Palette() {
    std::free(colours);
}

Palette& Palette::operator=(const Palette& other) {
    if (this == &other || !colours || !other.colours) return *this;
    std::memcpy(colours, other.colours, COLOUR_BYTES);
    discardLookups();
    return *this;
}

uint32_t* Palette::lock() {
    if (colours) ++locks;
    discardLookups();
    return colours;
}

void Palette::unlock() {
    if (locks <= 0) return;
    --locks;
    // Anything cached now was built while the colours were open for writing.
    discardLookups();
}

bool Palette::load(const uint32_t* source) {
    if (!source) return false;
    uint32_t* target = lock();
    if (!target) return false;
    std::memmove(target, source, COLOUR_BYTES); // the source may be this palette's own data()
    unlock();
    return true;
}

bool Palette::save(uint32_t* destination) const {
    if (!destination || !colours) return false;
    std::memmove(destination, colours, COLOUR_BYTES);
    return true;
}

bool Palette::operator==(const Palette& other) const {
    return colours && other.colours && std::memcmp(colours, other.colours, COLOUR_BYTES) == 0;
}

int32_t Palette::release() {
    if (references > 0) --references;
    return references;
}

const void* Palette::lookup(const Format& destination, int32_t entrySize) {
    // A colour already is an ARGB8888 pixel.
    if (destination.id == ARGB8888 && entrySize == 4) return colours;
    int32_t size = entrySize;
    if (size == AUTOMATIC) {
        if (destination.bytes == 1)
            size = 1;
        else if (destination.bytes > 4)
            size = destination.bytes;
        else
            size = 4;
    }
    const LOOKUP* cached = lookups.find([&](const LOOKUP& record) {
        return record.entrySize == size && record.format == destination;
    });
    return cached ? cached->table : build(destination, size);
}

const uint8_t* Palette::build(const Format& destination, int32_t entrySize) {
    if (!colours || !destination.ok()) return nullptr;
    if (entrySize < 1 || entrySize < destination.bytes || entrySize > MAX_ENTRY_SIZE)
        return nullptr;
    const Builder builder = builderFor(destination);
    // Fake-mode entries are three palette indices packed in one 32-bit word.
    const bool fakeMode = builder == Builder::FakeModeBands || builder == Builder::FakeModeSplit;
    if (fakeMode && entrySize != 4) return nullptr;
    // A direct format of another colour model cannot be packed: better no table than a black one.
    if (builder == Builder::Pack && destination.model != RGB_MODEL) return nullptr;

    const std::size_t tableBytes = std::size_t(COLOURS) * std::size_t(entrySize);
    uint8_t* table = static_cast<uint8_t*>(allocate(tableBytes));
    if (!table) return nullptr;
    std::memset(table, 0, tableBytes);

    for (int i = 0; i < COLOURS; ++i) {
        const uint32_t c = colours[i];
        const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c),
                      a = uint8_t(c >> 24);
        uint8_t* entry = table + std::size_t(i) * std::size_t(entrySize);
        switch (builder) {
        case Builder::Pack:
            destination.pack(r, g, b, a, entry, RGB_MODEL);
            break;
        case Builder::FakeModeBands:
            storeWord(entry, fakeModeBands(r, g, b));
            break;
        case Builder::FakeModeSplit:
            storeWord(entry, fakeModeSplit(r, g, b));
            break;
        case Builder::Grey:
            entry[0] = grey(r, g, b);
            break;
        case Builder::Zero:
            break;
        }
    }

    LOOKUP* record = new (std::nothrow) LOOKUP(destination, entrySize, table);
    if (!record) {
        std::free(table);
        return nullptr;
    }
    if (!lookups.append(record)) {
        delete record;
        return nullptr;
    }
    return table;
}

Palette& defaultPalette() {
    // Placement into static storage that is never destroyed: static destructors of other
    // files that still point at it run in no particular order relative to this one.
    alignas(Palette) static unsigned char storage[sizeof(Palette)];
    static Palette* const palette = new (storage) Palette;
    return *palette;
}

namespace {
// Built while the library's own statics are, as the other process-wide objects are.
[[maybe_unused]] const Palette& startUpDefaultPalette = defaultPalette();
} // namespace
