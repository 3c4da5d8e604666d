#pragma once
#include <cstdint>

// The numeric codes every layer shares: one table, so no two places can disagree.

// Format types; they double as display mode codes.
constexpr int32_t DIRECT = 1225;
constexpr int32_t INDEXED = 1226;
constexpr int32_t FAKEMODE = 1227;

// Colour models: every standard direct and fake-mode format uses RGB_MODEL.
constexpr int32_t RGB_MODEL = 1325;
constexpr int32_t GREY_MODEL = 1333;

// Fuzzy mode codes: a display of the requested size, preferring 8, 16 or 32 bits per pixel.
constexpr int32_t FUZZY8 = 1125;
constexpr int32_t FUZZY16 = 1126;
constexpr int32_t FUZZY32 = 1127;

// Surface orientations: row 0 first in memory, or last.
constexpr int32_t TOP_DOWN = 20;
constexpr int32_t BOTTOM_UP = 21;

// Surface kinds.
constexpr int32_t KIND_MEMORY = 30;
constexpr int32_t KIND_PRIMARY = 31;
constexpr int32_t KIND_ANY = 33;

// Outputs.
constexpr int32_t FULLSCREEN_OUTPUT = 40;
constexpr int32_t WINDOW_OUTPUT = 41;

// The one surface creation variant, which is also the only third option a back end accepts
// (besides -1 for the default).
constexpr int32_t VARIANT_DEFAULT = 10;
constexpr int32_t THIRD_OPTION = 10;

// What a back end's native data is (Interface::nativeType).
constexpr int32_t NATIVE_GDI = 100;
constexpr int32_t NATIVE_DIRECTDRAW = 101;
constexpr int32_t NATIVE_XLIB = 102; // the address of the Xlib Display pointer

// What a back-end surface's native data is (SURFACE::nativeType).
constexpr int32_t NATIVE_SURFACE_NONE = 0;
constexpr int32_t NATIVE_SURFACE_DIB = 1;
constexpr int32_t NATIVE_SURFACE_DIRECTDRAW = 2;
