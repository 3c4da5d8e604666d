#include "backends/Dummy.h"

#include <new>

constinit IDummy staticDummy;

::SURFACE* IDummy::createSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&, int32_t&,
                                 int32_t&) {
    return new (std::nothrow) IDummy::SURFACE;
}

IVGA::~IVGA() = default;
IVESA::~IVESA() = default;
