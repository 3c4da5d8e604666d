#include "front/Factory.h"

#include "backends/Dummy.h"
#include "backends/directx/DirectX.h"
#include "backends/gdi/GDI.h"

#include <new>

Interface* interfaceFactory(int index, WindowHandle& window) {
    switch (index) {
    case 0:
        return new (std::nothrow) IDirectX(window);
    case 1:
        return new (std::nothrow) IGDI(window);
    default:
        return placeholderBackEnd(index);
    }
}

const char* interfaceName(int index) {
    constexpr const char* names[] = {"DirectX", "GDI", "", ""};
    return index >= 0 && index < 4 ? names[index] : nullptr;
}
