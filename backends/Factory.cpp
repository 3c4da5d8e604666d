#include "backends/Dummy.h"
#include "display/PTC.h"
#ifdef _WIN32
#include "backends/directx/DirectX.h"
#endif

#include <new>

// Slots without a back end in this build hold a dummy that is never ok, so a search goes on to the
// later candidates instead of ending.
Interface* interfaceFactory(int index, [[maybe_unused]] WindowHandle& window) {
    switch (index) {
    case 0:
#ifdef _WIN32
        return new (std::nothrow) IDirectX(window);
#endif
    case 1:
        return new (std::nothrow) IDummy;
    case 2:
        return new (std::nothrow) IVESA;
    case 3:
        return new (std::nothrow) IVGA;
    default:
        return nullptr;
    }
}
