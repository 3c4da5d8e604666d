#pragma once
#include "backends/win32/Handles.h"

#include <windows.h>

#include <cstdint>

// The GDI logical palette of an 8-bit desktop: the LOGPALETTE block and the palette made
// from it, both owned.
struct LogicalPalette {
    HeapBlock<LOGPALETTE> block; // palVersion 0x300, 256 entries
    GdiObject<HPALETTE> handle;

    // Replaces both with a palette of 256 colours 0xAARRGGBB; false when no handle was made
    // (the block may still be there, as the realisation keeps it).
    bool create(const uint32_t* colours);
    void release();
    bool ok() const { return block && handle; }
};

// Selects palette into the window's DC (as background palette or not), realises it and
// selects the previous one back; the number of entries realisation changed (0 when none or
// on failure). The window needs repainting when it is not 0.
UINT realisePaletteInWindow(HWND window, HPALETTE palette, bool background);
