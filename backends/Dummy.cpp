#include "backends/Dummy.h"

#include <new>

constinit IDummy staticDummy;

int IDummy::getModes(List<MODE>& modes) {
    modes.clear();
    return 0;
}

int IDummy::reservedB(int32_t& first, int32_t& second) {
    first = 0;
    second = 0;
    return 0;
}

int IDummy::readKey() {
    return platform::consoleReadKey();
}

int IDummy::keyPressed() {
    return platform::consoleKeyPressed() ? 1 : 0;
}

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
