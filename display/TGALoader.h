#pragma once
#include "display/File.h"
#include "format/Format.h"

#include <cstdint>

// Reads an uncompressed TGA file: the header once at construction, the colour map and the
// pixel rows on each read.
class TGALoader {
  public:
    explicit TGALoader(File* file);
    virtual ~TGALoader() = default;
    // Copies out what the header said; true only when the file can be loaded: a supported
    // type, depth and colour map, and a file long enough for all the header promises. Callers
    // check it before allocating for the picture.
    virtual bool info(int& width, int& height, Format& format, int& hasPalette);
    // pixels addresses the top row and pitch is the signed distance between rows;
    // paletteColours addresses 256 colours. Either may be null to skip that part. Fails,
    // writing nothing, whenever info would.
    virtual bool read(void* pixels, int orientation, int32_t pitch, uint32_t* paletteColours);
    virtual bool reserved() { return false; }

    TGALoader(const TGALoader&) = delete;
    TGALoader& operator=(const TGALoader&) = delete;

  protected:
    File* file;
    uint8_t header[18] = {};
    int32_t width = 0;
    int32_t height = 0;
    int32_t hasPalette = 0;
    Format format;

  private:
    int64_t colourMapOffset() const;
    int64_t colourMapBytes() const;
    int64_t pixelOffset() const;
    int64_t rowBytes() const;
    bool loadable() const;
    bool readColourMap(uint32_t* paletteColours);
    bool readPixels(void* pixels, int32_t pitch);
};
