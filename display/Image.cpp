#include "display/Image.h"

#include <new>

Image::Image(const char* name, int mode) {
    open(name, mode);
}

bool Image::open(const char* name, int mode) {
    close();
    int flags = File::BINARY;
    if (mode & 1) flags |= File::READ;
    if (mode & 2) flags |= File::WRITE;
    if (!file.open(name, flags)) return false;
    loader = new (std::nothrow) TGALoader(&file);
    if (!loader) {
        file.close();
        return false;
    }
    return true;
}

void Image::close() {
    delete loader;
    loader = nullptr;
    file.close();
}

bool Image::ok() const {
    return file.isOpen() && loader;
}

bool Image::info(int& width, int& height, Format& format, int& hasPalette) {
    return loader && loader->info(width, height, format, hasPalette);
}

bool Image::read(void* pixels, int orientation, int32_t pitch, uint32_t* paletteColours) {
    return loader && loader->read(pixels, orientation, pitch, paletteColours);
}
