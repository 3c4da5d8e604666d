#pragma once
#include "display/List.h"
#include "format/Format.h"

#include <cstddef>
#include <cstdint>
#include <new>

// 256 colours 0xAARRGGBB for indexed surfaces and displays, with a cache of lookup tables that
// translate an index straight into a finished pixel of some destination format.
class Palette {
  public:
    static constexpr int COLOURS = 256;
    // Entry size that lets lookup choose: 1 for 1-byte pixels, 4 for 2..4 bytes (and for the
    // fake modes, which have none), the pixel size beyond that.
    static constexpr int32_t AUTOMATIC = -1;
    // Tables larger than this are refused, so 32-bit offsets into one never overflow.
    static constexpr int32_t MAX_ENTRY_SIZE = INT32_MAX / COLOURS;

    Palette();
    Palette(const Palette& other);
    ~Palette();
    // Copies the colours when both palettes have them; otherwise leaves this one alone.
    Palette& operator=(const Palette& other);

    bool ok() const { return colours != nullptr; }
    const uint32_t* data() const { return colours; }

    // For writing. Every cached table is freed now, and again at unlock, so none outlives a
    // change made while locked. Null when the colours could not be allocated.
    uint32_t* lock();
    void unlock();
    int32_t lockCount() const { return locks; }

    bool load(const uint32_t* source);
    bool save(uint32_t* destination) const;
    // False whenever either palette has no colours, even against itself.
    bool operator==(const Palette& other) const;

    // 256 entries of entrySize bytes holding the pixels of the colours in destination, valid
    // until the next lock, unlock, assignment or destruction; null when it cannot be built.
    // ARGB8888 with 4-byte entries is answered with the colours themselves.
    const void* lookup(const Format& destination, int32_t entrySize = AUTOMATIC);

    int32_t addReference() { return ++references; }
    int32_t release();

  private:
    struct LOOKUP {
        Format format;
        int32_t entrySize;
        uint8_t* table;

        LOOKUP(const Format& f, int32_t size, uint8_t* t) : format(f), entrySize(size), table(t) {}
        ~LOOKUP();
        LOOKUP(const LOOKUP&) = delete;
        LOOKUP& operator=(const LOOKUP&) = delete;
        // Records come from the palette allocator too, so tests can make them fail.
        static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
        static void operator delete(void* p) noexcept;
        static void operator delete(void* p, const std::nothrow_t&) noexcept;
    };

    const uint8_t* build(const Format& destination, int32_t entrySize);
    void discardLookups() { lookups.clear(); }

    uint32_t* colours;
    int32_t locks;
    List<LOOKUP> lookups; // oldest first
    int32_t references;
};

// The process-wide palette of 256 zero colours that surfaces without one point at. It is
// built on first use, so other files' static initialisers may take its address, and never
// destroyed, so their static destructors may still reach it.
Palette& defaultPalette();

// Every allocation a palette makes (colours, lookup records and tables) goes through this;
// tests install one that fails to simulate running out of memory. Null restores malloc.
// Memory is always given back with free.
using PaletteAllocator = void* (*)(std::size_t bytes);
void setPaletteAllocator(PaletteAllocator allocator);
