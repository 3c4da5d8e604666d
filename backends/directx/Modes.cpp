#include "backends/directx/Modes.h"

namespace directx {

namespace {

constexpr int32_t fuzzy16Formats[] = {RGB565,   BGR565,   ARGB1555, ABGR1555, ARGB8888,
                                      ABGR8888, RGBA8888, BGRA8888, RGB888,   BGR888};
constexpr int32_t fuzzy32Formats[] = {ARGB8888, ABGR8888, BGRA8888, RGBA8888, RGB888,
                                      BGR888,   RGB565,   BGR565,   ARGB1555, ABGR1555};

template <size_t N> bool isOneOf(const Format& format, const int32_t (&ids)[N]) {
    for (int32_t id : ids)
        if (format.id == id) return true;
    return false;
}

} // namespace

bool formatFromPixelFormat(const DDPIXELFORMAT& pixelFormat, Format& format) {
    format = Format();
    if (pixelFormat.dwFlags == DDPF_RGB) {
        const uint32_t bits = pixelFormat.dwRGBBitCount;
        // A zero or oversized count would make the pixel mask an undefined shift.
        if (bits < 1 || bits > 32) return false;
        const uint32_t pixelMask = 0xFFFFFFFFu >> (32 - bits);
        const uint32_t red = pixelFormat.dwRBitMask, green = pixelFormat.dwGBitMask,
                       blue = pixelFormat.dwBBitMask;
        const uint32_t alpha = ~(red | green | blue) & pixelMask;
        format = Format(int32_t(red), int32_t(green), int32_t(blue), int32_t(alpha), RGB_MODEL,
                        int32_t(bits));
        if (!format.ok()) {
            format = Format();
            return false;
        }
        return true;
    }
    if (pixelFormat.dwFlags & DDPF_PALETTEINDEXED8) {
        format = Format(INDEX8);
        return true;
    }
    return false;
}

bool pixelFormatFromFormat(const Format& format, DDPIXELFORMAT& pixelFormat) {
    pixelFormat = DDPIXELFORMAT();
    pixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    if (!format.ok()) return false;
    if (format.type == DIRECT) {
        if (format.model != RGB_MODEL || format.bits < 1 || format.bits > 32) return false;
        pixelFormat.dwFlags = DDPF_RGB;
        pixelFormat.dwRGBBitCount = DWORD(format.bits);
        pixelFormat.dwRBitMask = DWORD(format.red.mask);
        pixelFormat.dwGBitMask = DWORD(format.green.mask);
        pixelFormat.dwBBitMask = DWORD(format.blue.mask);
        return true;
    }
    // GREY8 is an indexed format too: its ramp lives in the palette.
    if (format.type == INDEXED && format.bits == 8 && format.bytes == 1) {
        pixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
        pixelFormat.dwRGBBitCount = 8;
        return true;
    }
    return false;
}

int32_t translateModeCode(int32_t code) {
    if (code == DIRECT) return FUZZY32;
    if (code == INDEXED) return FUZZY8;
    return code;
}

bool modeMatchesCode(const MODE& mode, int32_t width, int32_t height, int32_t code) {
    if (mode.width != width || mode.height != height) return false;
    switch (code) {
    case FUZZY8:
        // Only palettised modes: no display format is a direct one of 1 to 4 bits.
        return mode.format.id == INDEX8;
    case FUZZY16:
        return isOneOf(mode.format, fuzzy16Formats);
    case FUZZY32:
        return isOneOf(mode.format, fuzzy32Formats);
    default:
        return mode.format.bits == code;
    }
}

bool modeCodeAvailable(const List<MODE>& modes, int32_t width, int32_t height, int32_t code) {
    if (modes.empty()) return true;
    return modes.find([&](const MODE& m) { return modeMatchesCode(m, width, height, code); }) !=
           nullptr;
}

bool formatAvailable(const List<MODE>& modes, int32_t width, int32_t height, const Format& format) {
    if (modes.empty()) return true;
    return modes.find([&](const MODE& m) {
        return m.width == width && m.height == height && m.format == format;
    }) != nullptr;
}

int depthsForCode(int32_t code, int32_t (&depths)[MAX_DEPTHS]) {
    int n = 0;
    switch (code) {
    case FUZZY8:
        depths[n++] = 8;
        depths[n++] = 32;
        depths[n++] = 24;
        depths[n++] = 16;
        break;
    case FUZZY16:
        depths[n++] = 16;
        depths[n++] = 32;
        depths[n++] = 24;
        break;
    case FUZZY32:
        depths[n++] = 32;
        depths[n++] = 24;
        depths[n++] = 16;
        break;
    default:
        break;
    }
    depths[n++] = code;
    return n;
}

void swapRedAndBlue(uint32_t* entries, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t e = entries[i];
        entries[i] = (e & 0xFF00FF00u) | (e & 0xFFu) << 16 | (e >> 16 & 0xFFu);
    }
}

} // namespace directx
