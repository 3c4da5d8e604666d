#include "backends/gdi/LogicalPalette.h"

#include "display/Palette.h"

#include <cstddef>
#include <cstdlib>

namespace {
// The LOGPALETTE version every Windows since 3.0 expects.
constexpr WORD LOGICAL_PALETTE_VERSION = 0x300;
constexpr WORD ENTRIES = Palette::COLOURS;
} // namespace

bool LogicalPalette::create(const uint32_t* colours) {
    release();
    const size_t size = offsetof(LOGPALETTE, palPalEntry) + ENTRIES * sizeof(PALETTEENTRY);
    block.reset(static_cast<LOGPALETTE*>(std::calloc(1, size)));
    if (!block) return false;
    block->palVersion = LOGICAL_PALETTE_VERSION;
    block->palNumEntries = ENTRIES;
    for (int i = 0; i < ENTRIES; ++i) {
        block->palPalEntry[i].peRed = BYTE(colours[i] >> 16);
        block->palPalEntry[i].peGreen = BYTE(colours[i] >> 8);
        block->palPalEntry[i].peBlue = BYTE(colours[i]);
        block->palPalEntry[i].peFlags = 0;
    }
    handle.reset(CreatePalette(block.get()));
    return bool(handle);
}

void LogicalPalette::release() {
    handle.reset();
    block.reset();
}

UINT realisePaletteInWindow(HWND window, HPALETTE palette, bool background) {
    if (!window || !palette) return 0;
    const WindowDc dc = WindowDc::wholeWindow(window);
    if (!dc) return 0;
    const PaletteSelection selected(dc.get(), palette, background);
    if (!selected) return 0;
    const UINT changed = RealizePalette(dc.get());
    return changed == GDI_ERROR ? 0 : changed;
}
