// The one file that defines the DirectDraw interface ids, so nothing links dxguid.
#include <initguid.h>

#include "backends/directx/DirectDraw.h"

#include "backends/directx/Modes.h"
#include "backends/win32/WindowThread.h"

#include <cstring>
#include <new>
#include <utility>

namespace directx {

const GUID& iidDirectDraw2 = IID_IDirectDraw2;
const GUID& iidDirectDrawSurface2 = IID_IDirectDrawSurface2;

namespace {

std::atomic<long> callsOnWindowThread{0};
std::atomic<long> callsElsewhere{0};

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

DisplayCalls displayCalls() {
    return {callsOnWindowThread.load(), callsElsewhere.load()};
}

void countDisplayCall() {
    ++(WindowThread::current() ? callsOnWindowThread : callsElsewhere);
}

// ---- DirectDraw

DirectDraw& DirectDraw::operator=(DirectDraw other) noexcept {
    release();
    directDraw = std::move(other.directDraw);
    directDraw2 = std::move(other.directDraw2);
    return *this;
}

bool DirectDraw::create(DirectDrawCreateFunction directDrawCreate) {
    release();
    if (!directDrawCreate) return false;
    ComPtr<IDirectDraw> made;
    if (directDrawCreate(nullptr, made.out(), nullptr) != DD_OK || !made) return false;
    directDraw2 = made.query<IDirectDraw2>(iidDirectDraw2);
    directDraw = std::move(made);
    return true;
}

HRESULT DirectDraw::setCooperativeLevel(HWND window, DWORD flags) const {
    countDisplayCall();
    if (flags & DDSCL_EXCLUSIVE) {
        int simulated = simulatedWindowAlreadySet.load();
        while (simulated > 0 &&
               !simulatedWindowAlreadySet.compare_exchange_weak(simulated, simulated - 1)) {
        }
        if (simulated > 0) return DDERR_HWNDALREADYSET;
    }
    if (directDraw2) return directDraw2->SetCooperativeLevel(window, flags);
    if (directDraw) return directDraw->SetCooperativeLevel(window, flags);
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDraw::setDisplayMode(int32_t width, int32_t height, int32_t depth) const {
    countDisplayCall();
    if (width <= 0 || height <= 0 || depth <= 0) return DDERR_INVALIDPARAMS;
    if (directDraw2)
        return directDraw2->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth), 0, 0);
    if (directDraw) return directDraw->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth));
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDraw::restoreDisplayMode() const {
    countDisplayCall();
    if (directDraw2) return directDraw2->RestoreDisplayMode();
    if (directDraw) return directDraw->RestoreDisplayMode();
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDraw::waitForVerticalBlank() const {
    if (directDraw2) return directDraw2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    if (directDraw) return directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDraw::createSurface(DDSURFACEDESC& description,
                                  ComPtr<IDirectDrawSurface>& surface) const {
    if (directDraw2) return directDraw2->CreateSurface(&description, surface.out(), nullptr);
    if (directDraw) return directDraw->CreateSurface(&description, surface.out(), nullptr);
    surface.reset();
    return DDERR_NODIRECTDRAWHW;
}

HRESULT DirectDraw::createPrimarySurface(ComPtr<IDirectDrawSurface>& surface) const {
    countDisplayCall();
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    return createSurface(description, surface);
}

HRESULT DirectDraw::createPalette(DWORD flags, PALETTEENTRY* entries,
                                  ComPtr<IDirectDrawPalette>& palette) const {
    if (directDraw2) return directDraw2->CreatePalette(flags, entries, palette.out(), nullptr);
    if (directDraw) return directDraw->CreatePalette(flags, entries, palette.out(), nullptr);
    palette.reset();
    return DDERR_NODIRECTDRAWHW;
}

bool DirectDraw::enumerateModes(List<MODE>& modes, const char* name) const {
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

Format DirectDraw::displayFormat() const {
    DrawSurface primary;
    if (createPrimarySurface(primary.surface) != DD_OK || !primary) return Format();
    DDPIXELFORMAT pixelFormat = {};
    pixelFormat.dwSize = sizeof(pixelFormat);
    const HRESULT read = primary.surface->GetPixelFormat(&pixelFormat);
    primary.releaseScreen();
    Format format;
    if (read == DD_OK) formatFromPixelFormat(pixelFormat, format);
    return format;
}

void DirectDraw::release() {
    if (directDraw) countDisplayCall();
    directDraw2.reset();
    directDraw.reset();
}

// ---- DrawSurface

HRESULT DrawSurface::lock(DDSURFACEDESC& description) const {
    if (surface2) return surface2->Lock(nullptr, &description, DDLOCK_WAIT, nullptr);
    if (surface) return surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr);
    return DDERR_SURFACELOST;
}

HRESULT DrawSurface::unlock() const {
    if (surface2) return surface2->Unlock(nullptr);
    if (surface) return surface->Unlock(nullptr);
    return DDERR_SURFACELOST;
}

HRESULT DrawSurface::restore(bool screen) const {
    if (screen) countDisplayCall();
    if (!surface) return DDERR_SURFACELOST;
    if (surface2) {
        const HRESULT result = surface2->Restore();
        if (result != DD_OK) return result;
    }
    return surface->Restore();
}

HRESULT DrawSurface::isLost() const {
    if (surface2) return surface2->IsLost();
    if (surface) return surface->IsLost();
    return DDERR_SURFACELOST;
}

HRESULT DrawSurface::getPalette(ComPtr<IDirectDrawPalette>& palette) const {
    if (surface2) return surface2->GetPalette(palette.out());
    if (surface) return surface->GetPalette(palette.out());
    palette.reset();
    return DDERR_SURFACELOST;
}

HRESULT DrawSurface::setPalette(IDirectDrawPalette* palette) const {
    if (surface2) return surface2->SetPalette(palette);
    if (surface) return surface->SetPalette(palette);
    return DDERR_SURFACELOST;
}

void DrawSurface::releaseScreen() {
    if (!surface) return;
    countDisplayCall();
    surface2.reset();
    surface.reset();
}

// ---- DirectDrawLink

bool DirectDrawLink::load(const char* libraryName) {
    unload();
    library.reset(LoadLibraryA(libraryName));
    if (!library) return false;
    directDrawCreate = reinterpret_cast<DirectDrawCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "DirectDrawCreate")));
    if (!object.create(directDrawCreate)) {
        unload();
        return false;
    }
    return true;
}

void DirectDrawLink::unload() {
    object = DirectDraw();
    directDrawCreate = nullptr;
    library.reset();
}

} // namespace directx
