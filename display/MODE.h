#pragma once
#include "display/List.h"
#include "format/Codes.h"
#include "format/Format.h"

#include <cstdint>

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
