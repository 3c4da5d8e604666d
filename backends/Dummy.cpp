#include "backends/Dummy.h"

#include <new>

constinit IDummy staticDummy;

::SURFACE* IDummy::createSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&, int32_t&,
                                 int32_t&) {
    return new (std::nothrow) IDummy::SURFACE;
}

IVGA::~IVGA() = default;
IVESA::~IVESA() = default;

Interface* placeholderBackEnd(int index) {
    switch (index) {
    case 2:
        return new (std::nothrow) IVESA;
    case 3:
        return new (std::nothrow) IVGA;
    default:
        return nullptr;
    }
}
