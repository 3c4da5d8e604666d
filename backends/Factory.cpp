#include "backends/Dummy.h"
#include "display/PTC.h"

#include <new>
#ifdef _WIN32
#include "backends/directx/DirectX.h"
#include "backends/gdi/GDI.h"
#endif

// Slots without a back end in this build hold a dummy that is never ok, so a search goes on to
// the later candidates instead of ending.
Interface* interfaceFactory(int index, [[maybe_unused]] WindowHandle& window) {
    switch (index) {
    case 0:
#ifdef _WIN32
        return new (std::nothrow) IDirectX(window);
#else
        return new (std::nothrow) IDummy;
#endif
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
