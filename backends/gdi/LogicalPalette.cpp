#include "backends/gdi/LogicalPalette.h"

#include <cstddef>
#include <cstdlib>

bool LogicalPalette::create(const uint32_t* colours) {
    release();
    const size_t size = offsetof(LOGPALETTE, palPalEntry) + 256 * sizeof(PALETTEENTRY);
    block = static_cast<LOGPALETTE*>(std::calloc(1, size));
    if (!block) return false;
    block->palVersion = 0x300;
    block->palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        block->palPalEntry[i].peRed = BYTE(colours[i] >> 16);
        block->palPalEntry[i].peGreen = BYTE(colours[i] >> 8);
        block->palPalEntry[i].peBlue = BYTE(colours[i]);
        block->palPalEntry[i].peFlags = 0;
    }
    handle = CreatePalette(block);
    return handle != nullptr;
}

void LogicalPalette::release() {
    if (handle) DeleteObject(handle);
    std::free(block);
    handle = nullptr;
    block = nullptr;
}

UINT realisePaletteInWindow(HWND window, HPALETTE palette, bool background) {
    if (!window || !palette) return 0;
    HDC dc = GetWindowDC(window);
    if (!dc) return 0;
    UINT changed = 0;
    HPALETTE previous = SelectPalette(dc, palette, background ? TRUE : FALSE);
    if (previous) {
        changed = RealizePalette(dc);
        if (changed == GDI_ERROR) changed = 0;
        SelectPalette(dc, previous, TRUE);
    }
    ReleaseDC(window, dc);
    return changed;
}
