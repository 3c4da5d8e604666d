#pragma once
#include "format/Format.h"

#include <cstdint>

// The generic path between two direct formats, for pairs without a routine.

namespace conversion {

// Pixel by pixel through unpack and pack.
void convertGeneric(const Format& source, const Format& destination, const uint8_t* sourcePixels,
                    uint8_t* destinationPixels, int32_t count);

// The same path through one table per source channel, for pixels of one to four bytes.
class GenericPath {
  public:
    GenericPath(const Format& source, const Format& destination);
    ~GenericPath();
    GenericPath(const GenericPath&) = delete;
    GenericPath& operator=(const GenericPath&) = delete;

    // Fills the tables; false when the pixel sizes are out of its reach or memory is short.
    bool build();
    // True when built for exactly these formats.
    bool builtFor(const Format& source, const Format& destination) const;
    void convert(const uint8_t* sourcePixels, uint8_t* destinationPixels, int32_t count) const;

  private:
    struct Table;
    template <int R, int W> void run(const uint8_t* s, uint8_t* d, int32_t count) const;
    template <int R> void runFrom(const uint8_t* s, uint8_t* d, int32_t count) const;

    Format source;
    Format destination;
    Table* channels = nullptr;
};

} // namespace conversion
