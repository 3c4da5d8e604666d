#pragma once
#include "display/Format.h"
#include "display/List.h"

#include <cstdint>

// Output codes.
constexpr int32_t FULLSCREEN_OUTPUT = 40;
constexpr int32_t WINDOW_OUTPUT = 41;
// The only third option a back end accepts (besides -1 for the default).
constexpr int32_t THIRD_OPTION = 10;

// Fuzzy mode codes: a display of the requested size, preferring 8, 16 or 32 bits per pixel.
constexpr int32_t FUZZY8 = 1125;
constexpr int32_t FUZZY16 = 1126;
constexpr int32_t FUZZY32 = 1127;

// A display mode as a back end reports it.
struct MODE {
    // Name of the owning back end ("DirectX", "GDI"; empty for the others). Called interface
    // elsewhere; Windows headers define interface as a macro.
    char interfaceName[8] = {};
    int32_t width = 0;
    int32_t height = 0;
    Format format;
    int32_t output = 0;
    int32_t secondOption = 0;
    int32_t thirdOption = 0;
};
