#pragma once
#include "display/Format.h"
#include "display/List.h"
#include "display/MODE.h"

#include <windows.h>

#include <ddraw.h>

#include <cstdint>

namespace directx {

// DirectDraw bound at run time from "ddraw.dll", so a program starts where it is missing.
// Every call goes through IDirectDraw2 when the driver has it, else through IDirectDraw.
// The three fields stay first and in this order: the back end's nativeData hands out their
// address.
struct DirectDrawLink {
    IDirectDraw* directDraw = nullptr;
    IDirectDraw2* directDraw2 = nullptr;
    HMODULE library = nullptr;

    DirectDrawLink() = default;
    ~DirectDrawLink() { unload(); }
    DirectDrawLink(const DirectDrawLink&) = delete;
    DirectDrawLink& operator=(const DirectDrawLink&) = delete;

    // Unloads first. False, with nothing held, when the library, its DirectDrawCreate export or
    // the object cannot be had; a missing IDirectDraw2 is not a failure.
    bool load(const char* libraryName = "ddraw.dll");
    void unload();
    bool loaded() const { return directDraw != nullptr; }

    HRESULT setCooperativeLevel(HWND window, DWORD flags);
    // Wine never answers an exclusive request with DDERR_HWNDALREADYSET; tests set this to
    // have the next that many exclusive requests answered so, without calling DirectDraw.
    static inline int simulatedWindowAlreadySet = 0;
    HRESULT setDisplayMode(int32_t width, int32_t height, int32_t depth);
    HRESULT restoreDisplayMode();
    HRESULT waitForVerticalBlank();
    HRESULT createSurface(DDSURFACEDESC& description, IDirectDrawSurface** surface);
    HRESULT createPalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** palette);

    // Empties modes, then appends a MODE named name (output 40, options 0 and 10) for every
    // display mode whose pixel format converts. Only with IDirectDraw2; false when the enumeration
    // failed.
    bool enumerateModes(List<MODE>& modes, const char* name);
    // The format of the primary surface, or the empty format.
    Format displayFormat();
};

// Holds one COM reference and releases it at the end of the scope.
template <class T> class ComHold {
  public:
    ComHold() = default;
    ~ComHold() { reset(); }
    ComHold(const ComHold&) = delete;
    ComHold& operator=(const ComHold&) = delete;
    T** out() {
        reset();
        return &object;
    }
    T* get() const { return object; }
    T* operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    void reset() {
        if (object) object->Release();
        object = nullptr;
    }

  private:
    T* object = nullptr;
};

extern const GUID& iidDirectDraw2;
extern const GUID& iidDirectDrawSurface2;

} // namespace directx
