#include "front/Factory.h"

#include "backends/Dummy.h"
#include "backends/web/Web.h"

#include <new>

// The page's canvas in the slots of the Windows back ends: full screen first, then a window.
Interface* interfaceFactory(int index, WindowHandle& window) {
    switch (index) {
    case 0:
        return new (std::nothrow) IWeb(IWeb::Role::FULL_SCREEN, window);
    case 1:
        return new (std::nothrow) IWeb(IWeb::Role::WINDOW, window);
    default:
        return placeholderBackEnd(index);
    }
}

const char* interfaceName(int index) {
    constexpr const char* names[] = {"Web", "Web", "", ""};
    return index >= 0 && index < 4 ? names[index] : nullptr;
}
