#include "front/Factory.h"

#include "backends/Dummy.h"
#include "backends/x11/X11.h"

#include <new>

// The X11 back end in the slots of the Windows ones: full screen first, then a window. Both
// draw into a window they are given, whichever output they offer.
Interface* interfaceFactory(int index, WindowHandle& window) {
    switch (index) {
    case 0:
        return new (std::nothrow) IX11(IX11::Role::FULL_SCREEN, window);
    case 1:
        return new (std::nothrow) IX11(IX11::Role::WINDOW, window);
    default:
        return placeholderBackEnd(index);
    }
}

const char* interfaceName(int index) {
    constexpr const char* names[] = {"X11", "X11", "", ""};
    return index >= 0 && index < 4 ? names[index] : nullptr;
}
