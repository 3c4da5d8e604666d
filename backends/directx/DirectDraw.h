#pragma once
#include "backends/win32/Handles.h"
#include "display/List.h"
#include "display/MODE.h"
#include "format/Format.h"

#include <windows.h>

#include <ddraw.h>

#include <atomic>
#include <cstdint>

namespace directx {

// How many of the DirectDraw calls that can change the display mode, reset the device or move,
// restyle or resize the window ran on a window thread, and how many elsewhere. Every such call
// goes through DirectDraw's counted methods below, and every letting go of a DirectDraw object
// (release, assignment over it, destruction) through DirectDraw's own, so a test can tell
// whether any ran on the wrong thread.
struct DisplayCalls {
    long onWindowThread = 0;
    long elsewhere = 0;
};
DisplayCalls displayCalls();
// Counts one display-changing call made on the calling thread.
void countDisplayCall();

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

// One DirectDraw object. Calls go through IDirectDraw2 when the driver has it, else through
// IDirectDraw. A value: copies share the object, so work handed to a window thread carries
// references of its own.
class DirectDraw {
  public:
    DirectDraw() = default;
    DirectDraw(const DirectDraw&) = default;
    DirectDraw(DirectDraw&&) noexcept = default;
    // Lets go of the object held before: counted like release().
    DirectDraw& operator=(DirectDraw other) noexcept;
    ~DirectDraw() { release(); }

    // A new object from DirectDrawCreate; false, with none, when it fails. A missing
    // IDirectDraw2 is no failure.
    bool create(DirectDrawCreateFunction directDrawCreate);
    bool loaded() const { return bool(directDraw); }

    // Counted, since they change the display or the window: to be made on the window's thread.
    HRESULT setCooperativeLevel(HWND window, DWORD flags) const;
    HRESULT setDisplayMode(int32_t width, int32_t height, int32_t depth) const;
    HRESULT restoreDisplayMode() const;
    HRESULT createPrimarySurface(ComPtr<IDirectDrawSurface>& surface) const;
    // The format of the primary surface (read through a temporary one), or the empty format.
    Format displayFormat() const;
    // Lets go of this reference; the last one destroys the object, which puts back the display
    // mode and cooperative level it set and resets its device. Counted when one was held.
    void release();

    // A surface in system memory; for the screen's use createPrimarySurface.
    HRESULT createSurface(DDSURFACEDESC& description, ComPtr<IDirectDrawSurface>& surface) const;
    HRESULT createPalette(DWORD flags, PALETTEENTRY* entries,
                          ComPtr<IDirectDrawPalette>& palette) const;
    HRESULT waitForVerticalBlank() const;
    // Empties modes, then appends a MODE named name (output 40, options 0 and 10) for every
    // display mode whose pixel format converts. Only with IDirectDraw2; false when the
    // enumeration failed.
    bool enumerateModes(List<MODE>& modes, const char* name) const;

    // Wine never answers an exclusive request with DDERR_HWNDALREADYSET; tests set this to
    // have the next that many exclusive requests answered so, without calling DirectDraw.
    static inline std::atomic<int> simulatedWindowAlreadySet{0};

    ComPtr<IDirectDraw> directDraw;
    ComPtr<IDirectDraw2> directDraw2;
};

// The surface interfaces of one DirectDraw surface; calls go through the newer when held.
struct DrawSurface {
    ComPtr<IDirectDrawSurface> surface;
    ComPtr<IDirectDrawSurface2> surface2;

    explicit operator bool() const { return bool(surface); }
    HRESULT lock(DDSURFACEDESC& description) const;
    HRESULT unlock() const;
    // Counted when it is the screen's surface: restoring it may reset the device.
    HRESULT restore(bool screen) const;
    HRESULT isLost() const;
    HRESULT getPalette(ComPtr<IDirectDrawPalette>& palette) const;
    HRESULT setPalette(IDirectDrawPalette* palette) const;
    // Lets go of the screen's surface, which takes the window out of full screen: counted.
    void releaseScreen();
};

// DirectDraw bound at run time from "ddraw.dll", so a program starts where it is missing. The
// object's two interface pointers come first and the module handle after them, in this order:
// the back end's nativeData hands out their address.
struct DirectDrawLink {
    DirectDraw object;
    LibraryHandle library;
    DirectDrawCreateFunction directDrawCreate = nullptr;

    DirectDrawLink() = default;
    ~DirectDrawLink() { unload(); }
    DirectDrawLink(const DirectDrawLink&) = delete;
    DirectDrawLink& operator=(const DirectDrawLink&) = delete;

    // Unloads first. False, with nothing held, when the library, its DirectDrawCreate export or
    // the object cannot be had.
    bool load(const char* libraryName = "ddraw.dll");
    void unload();
    bool loaded() const { return object.loaded(); }
};

static_assert(sizeof(ComPtr<IDirectDraw>) == sizeof(void*) &&
                  sizeof(LibraryHandle) == sizeof(void*),
              "nativeData hands out three pointer-sized fields");

extern const GUID& iidDirectDraw2;
extern const GUID& iidDirectDrawSurface2;

} // namespace directx
