#pragma once
#include "display/List.h"
#include "display/MODE.h"
#include "format/Format.h"

#include <windows.h>

#include <ddraw.h>

#include <cstdint>

// The DirectDraw back end's rules that need no driver: pixel-format conversion both ways, the
// matching of mode codes and formats against the mode list, and the depth fallbacks.
namespace directx {

// The Format a DirectDraw pixel format stands for. An RGB format's bits that no colour mask
// covers become its alpha channel. False, with the format left empty, when there is none.
bool formatFromPixelFormat(const DDPIXELFORMAT& pixelFormat, Format& format);

// The description to ask DirectDraw for a surface in format; false for formats it cannot
// describe (fake modes, non-RGB models, empty formats).
bool pixelFormatFromFormat(const Format& format, DDPIXELFORMAT& pixelFormat);

// DIRECT and INDEXED are asked for as FUZZY32 and FUZZY8; every other code is kept.
int32_t translateModeCode(int32_t code);

// Whether mode has the requested size and suits the mode code.
bool modeMatchesCode(const MODE& mode, int32_t width, int32_t height, int32_t code);
// Whether some mode matches; an empty list makes every request available.
bool modeCodeAvailable(const List<MODE>& modes, int32_t width, int32_t height, int32_t code);
bool formatAvailable(const List<MODE>& modes, int32_t width, int32_t height, const Format& format);

constexpr int MAX_DEPTHS = 5;
// The depths to set, in order, for a mode code; returns how many were written.
int depthsForCode(int32_t code, int32_t (&depths)[MAX_DEPTHS]);

// DirectDraw palette entries are red, green, blue, flags in memory: swapping bytes 0 and 2
// of each turns them into 0xAARRGGBB colours (flags as alpha), and back.
void swapRedAndBlue(uint32_t* entries, int count);

} // namespace directx
