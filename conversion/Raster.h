#pragma once
#include "format/Format.h"

#include <cstdint>
#include <memory>

namespace conversion {
class GenericPath;
struct Selection;
} // namespace conversion

// One rectangle conversion. The field order is fixed: the record is handed to the area routines.
// Addresses are pointer-sized, so the record is 36 bytes on 32-bit and 48 bytes on 64-bit.
struct AREA {
    const void* source;       // first source pixel of the rectangle
    void* destination;        // first destination pixel of the rectangle
    int32_t sourceSkip;       // bytes from the end of a source row to the start of the next
    int32_t destinationSkip;  // likewise for the destination
    int32_t width;            // pixels per row; bytes once a same-format copy has scaled it
    int32_t height;           // rows; the area routines count it down to 0
    int32_t sourcePitch;      // bytes from one source row to the next
    int32_t destinationPitch; // likewise for the destination
    const void* lookup;       // palette lookup for indexed sources, or null
};

static_assert(sizeof(AREA) == 6 * sizeof(int32_t) + 3 * sizeof(void*), "AREA has no padding");

// Converts one run: advances both cursors past it. Count is in pixels (bytes for the copy).
using LineRoutine = void (*)(const uint8_t*& source, uint8_t*& destination, int32_t count,
                             const void* lookup);
// Converts the rectangle of an AREA row by row, counting its height down in place.
using AreaRoutine = void (*)(AREA& area, const void* lookup);

// The conversion service. A RASTER carries no data: the first one alive builds the shared
// tables, the last one to go frees them. Converters handed out by converter() stay valid; a
// converter takes the variant of its routine for the instruction set in use when it is made.
class RASTER {
  public:
    class CONVERTER {
      public:
        Format source;
        Format destination;
        int32_t needsLookup = 0; // indexed source, non-indexed destination: a lookup is required
        int32_t sameFormat = 0;  // equal formats: counts and widths are scaled to bytes
        LineRoutine line = nullptr;
        AreaRoutine area = nullptr;

        CONVERTER();

        // Converts count pixels; 1 on success, 0 on failure (nothing written).
        int32_t convert(const void* sourcePixels, void* destinationPixels, int32_t count,
                        const void* lookup) const;
        // Converts a rectangle; the record is a private copy.
        int32_t convertArea(AREA area) const;

        // Sets both formats and derives the two flags from them.
        void setFormats(const Format& sourceFormat, const Format& destinationFormat);

      private:
        friend class RASTER;
        friend struct conversion::Selection;
        // Tables for the generic path, built for pairs that have no routine; shared by copies.
        std::shared_ptr<const conversion::GenericPath> generic;
        // An indexed routine reads its lookup even where the formats need none.
        bool routineReadsLookup = false;

        void prepareGeneric();
        bool lookupMissing(const void* lookup) const;
        bool genericApplies() const;
        bool convertLine(const uint8_t* sourcePixels, uint8_t* destinationPixels, int32_t count,
                         const void* lookup) const;
    };

    RASTER();
    // A copy is one more user of the tables, counted like any construction.
    RASTER(const RASTER&);
    RASTER& operator=(const RASTER&) { return *this; }
    ~RASTER();

    // A new converter from source to destination, owned by the caller; null only when out of
    // memory. A pair that cannot be converted gets a converter whose conversions return 0. It
    // copies the converter kept for the pair, if there is one.
    CONVERTER* converter(const Format& source, const Format& destination) const;

    // The converter the tables keep for the pair: made at the first request and handed to every
    // later one, so a copy allocates and builds nothing. Safe on any thread; valid until the
    // last RASTER goes. Null when no memory can be had or the tables already keep as many pairs
    // as they hold, where converter() serves.
    const CONVERTER* kept(const Format& source, const Format& destination) const;
};
