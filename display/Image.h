#pragma once
#include "display/File.h"
#include "display/TGALoader.h"
#include "format/Format.h"

#include <cstdint>

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
