// viewer picture.tga: shows an uncompressed TGA picture scaled to fill a 640x480 display as far
// as its shape allows, centred on black, until a key is pressed. A file it cannot read ends it
// with a message and status 1 before any display opens. The picture is loaded into a memory
// surface, converted to 32 bits, and scaled by hand into a surface of the display's size: a
// surface's pixels are rows pitch bytes apart, which lock() hands out.
#include <ptc/PTC.h>
#include <ptc/Surface.h>

#include <cstdint>
#include <cstdio>

namespace {

// Nearest-neighbour scaling of the whole picture into the largest area of the screen of the
// same shape, centred; the rest black.
void scaleInto(Surface& picture, Surface& screen) {
    const auto* from = static_cast<const uint8_t*>(picture.lock(1));
    auto* to = static_cast<uint8_t*>(screen.lock(1));
    if (from && to) {
        const int64_t pw = picture.width(), ph = picture.height();
        const int64_t sw = screen.width(), sh = screen.height();
        // 64 bits: the products of two sizes overflow 32.
        const bool heightBound = pw * sh <= ph * sw;
        const int64_t tw = heightBound ? pw * sh / ph : sw;
        const int64_t th = heightBound ? sh : ph * sw / pw;
        const int64_t left = (sw - tw) / 2, top = (sh - th) / 2;
        for (int64_t y = 0; y < sh; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(to + y * screen.pitch());
            for (int64_t x = 0; x < sw; ++x) {
                const bool inside = x >= left && x < left + tw && y >= top && y < top + th;
                if (!inside) {
                    row[x] = 0xff000000u;
                    continue;
                }
                // Row y of any surface starts at y * pitch, also when rows are stored bottom up.
                const int64_t px = (x - left) * pw / tw, py = (y - top) * ph / th;
                row[x] = reinterpret_cast<const uint32_t*>(from + py * picture.pitch())[px];
            }
        }
    }
    if (to) screen.unlock();
    if (from) picture.unlock();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: viewer picture.tga\n");
        return 2;
    }
    // A memory surface needs no display: a bad file is told before anything opens.
    Surface picture(argv[1], KIND_MEMORY, -1, -1, -1);
    if (!picture.ok() || !picture.convert(Format(ARGB8888))) {
        std::fprintf(stderr, "viewer: could not read %s: not an uncompressed TGA picture\n",
                     argv[1]);
        return 1;
    }

    PTC display;
    if (!display.init(640, 480, FUZZY32, FULLSCREEN_OUTPUT, -1, -1) || !display.isOpen())
        display.init(640, 480, FUZZY32, WINDOW_OUTPUT, -1, -1);
    if (!display.isOpen()) {
        display.error("could not open a display");
        return 1;
    }
    display.setTitle("viewer");
    Surface screen(display, display.width(), display.height(), Format(ARGB8888), KIND_MEMORY, -1,
                   -1, -1);
    if (!screen.ok()) {
        display.error("could not create a surface");
        return 1;
    }
    scaleInto(picture, screen);
    if (!screen.update()) {
        display.error("could not show the picture");
        return 1;
    }
    // The display repaints what it was last shown by itself, so the program only waits: readKey
    // blocks until a key comes.
    display.backEnd()->readKey();
    return 0;
}
