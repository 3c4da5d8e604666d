#pragma once
#include "display/File.h"
#include "display/Format.h"

#include <cstdint>

// Reads an uncompressed TGA file: the header once at construction, the colour map and the
// pixel rows on each read.
class TGALoader {
  public:
    explicit TGALoader(File* file);
    virtual ~TGALoader() = default;
    // Always true: copies out what the header said.
    virtual bool info(int& width, int& height, Format& format, int& hasPalette);
    // pixels addresses the top row and pitch is the signed distance between rows;
    // paletteColours addresses 256 colours. Either may be null to skip that part.
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
};

// An image file opened for reading; every file is treated as TGA.
class Image {
  public:
    Image() = default;
    Image(const char* name, int mode);
    ~Image() { close(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // mode bit 1 read, bit 2 write
    bool open(const char* name, int mode);
    void close();
    bool ok() const;
    bool info(int& width, int& height, Format& format, int& hasPalette);
    bool read(void* pixels, int orientation, int32_t pitch, uint32_t* paletteColours);

  private:
    File file;
    TGALoader* loader = nullptr;
};
