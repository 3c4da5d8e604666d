// The one file that defines the DirectDraw interface ids, so nothing links dxguid.
#include <initguid.h>

#include "backends/directx/DirectDraw.h"

#include "backends/directx/Modes.h"

#include <cstring>
#include <new>

namespace directx {

const GUID& iidDirectDraw2 = IID_IDirectDraw2;
const GUID& iidDirectDrawSurface2 = IID_IDirectDrawSurface2;

namespace {

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

struct Enumeration {
    List<MODE>* modes;
    const char* name;
    bool complete;
};

HRESULT WINAPI addDisplayMode(DDSURFACEDESC* description, void* context) {
    Enumeration* enumeration = static_cast<Enumeration*>(context);
    if (!description || !enumeration) return DDENUMRET_OK;
    MODE mode;
    if (!formatFromPixelFormat(description->ddpfPixelFormat, mode.format)) return DDENUMRET_OK;
    std::strncpy(mode.interfaceName, enumeration->name, sizeof(mode.interfaceName) - 1);
    mode.width = int32_t(description->dwWidth);
    mode.height = int32_t(description->dwHeight);
    mode.output = FULLSCREEN_OUTPUT;
    mode.secondOption = 0;
    mode.thirdOption = THIRD_OPTION;
    MODE* record = new (std::nothrow) MODE(mode);
    if (!record || !enumeration->modes->append(record)) {
        delete record;
        enumeration->complete = false;
    }
    return DDENUMRET_OK;
}

} // namespace

bool DirectDrawLink::load(const char* libraryName) {
    unload();
    library = LoadLibraryA(libraryName);
    if (!library) return false;
    auto create = reinterpret_cast<DirectDrawCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DirectDrawCreate")));
    if (!create) {
        unload();
        return false;
    }
    IDirectDraw* object = nullptr;
    if (create(nullptr, &object, nullptr) != DD_OK) {
        if (object) object->Release();
        unload();
        return false;
    }
    directDraw = object;
    void* newer = nullptr;
    if (directDraw->QueryInterface(iidDirectDraw2, &newer) == DD_OK)
        directDraw2 = static_cast<IDirectDraw2*>(newer);
    return true;
}

void DirectDrawLink::unload() {
    if (directDraw2) directDraw2->Release();
    directDraw2 = nullptr;
    if (directDraw) directDraw->Release();
    directDraw = nullptr;
    if (library) FreeLibrary(library);
    library = nullptr;
}

HRESULT DirectDrawLink::setCooperativeLevel(HWND window, DWORD flags) {
    if ((flags & DDSCL_EXCLUSIVE) && simulatedWindowAlreadySet > 0) {
        --simulatedWindowAlreadySet;
        return DDERR_HWNDALREADYSET;
    }
    if (directDraw2) return directDraw2->SetCooperativeLevel(window, flags);
    if (directDraw) return directDraw->SetCooperativeLevel(window, flags);
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDrawLink::setDisplayMode(int32_t width, int32_t height, int32_t depth) {
    if (width <= 0 || height <= 0 || depth <= 0) return DDERR_INVALIDPARAMS;
    if (directDraw2)
        return directDraw2->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth), 0, 0);
    if (directDraw) return directDraw->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth));
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDrawLink::restoreDisplayMode() {
    if (directDraw2) return directDraw2->RestoreDisplayMode();
    if (directDraw) return directDraw->RestoreDisplayMode();
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDrawLink::waitForVerticalBlank() {
    if (directDraw2) return directDraw2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    if (directDraw) return directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDrawLink::createSurface(DDSURFACEDESC& description, IDirectDrawSurface** surface) {
    *surface = nullptr;
    if (directDraw2) return directDraw2->CreateSurface(&description, surface, nullptr);
    if (directDraw) return directDraw->CreateSurface(&description, surface, nullptr);
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDrawLink::createPalette(DWORD flags, PALETTEENTRY* entries,
                                      IDirectDrawPalette** palette) {
    *palette = nullptr;
    if (directDraw2) return directDraw2->CreatePalette(flags, entries, palette, nullptr);
    if (directDraw) return directDraw->CreatePalette(flags, entries, palette, nullptr);
    return DDERR_NODIRECTDRAWHW;
}

bool DirectDrawLink::enumerateModes(List<MODE>& modes, const char* name) {
    modes.clear();
    // Without IDirectDraw2 the list stays empty, so every request counts as available.
    if (!directDraw2) return true;
    Enumeration enumeration = {&modes, name, true};
    if (directDraw2->EnumDisplayModes(0, nullptr, &enumeration, addDisplayMode) != DD_OK) {
        modes.clear();
        enumeration.complete = true;
        if (directDraw->EnumDisplayModes(0, nullptr, &enumeration, addDisplayMode) != DD_OK)
            return false;
    }
    return enumeration.complete;
}

Format DirectDrawLink::displayFormat() {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    ComHold<IDirectDrawSurface> primary;
    if (createSurface(description, primary.out()) != DD_OK || !primary) return Format();
    DDPIXELFORMAT pixelFormat = {};
    pixelFormat.dwSize = sizeof(pixelFormat);
    if (primary->GetPixelFormat(&pixelFormat) != DD_OK) return Format();
    Format format;
    formatFromPixelFormat(pixelFormat, format);
    return format;
}

} // namespace directx
