#include "backends/Dummy.h"
#include "display/PTC.h"

#include <new>
#ifdef _WIN32
#include "backends/gdi/GDI.h"
#endif

// A slot whose back end this build lacks holds a dummy that is never ok, so a search goes on
// to the later candidates instead of ending.
Interface* interfaceFactory(int index, [[maybe_unused]] WindowHandle& window) {
    switch (index) {
    case 0:
        return new (std::nothrow) IDummy;
    case 1:
#ifdef _WIN32
        return new (std::nothrow) IGDI(window);
#else
        return new (std::nothrow) IDummy;
#endif
    case 2:
        return new (std::nothrow) IVESA;
    case 3:
        return new (std::nothrow) IVGA;
    default:
        return nullptr;
    }
}
