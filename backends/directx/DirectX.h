#pragma once
#include "backends/directx/DirectDraw.h"
#include "backends/win32/Win32.h"
#include "display/Format.h"

#include <cstdint>

class Surface;

// The full-screen back end: exclusive DirectDraw modes on a hidden pop-up window of its own,
// the screen as one primary surface written straight into (no back buffer, no flip), and the
// hardware palette of 8-bit modes. Windowed output is left to the GDI back end.
class IDirectX : public IWin32 {
  public:
    // A DirectDraw surface: system memory, or the primary surface while the back end builds its
    // display surface. Copies are the software ones, through lock and unlock.
    class SURFACE : public ISoftware::SURFACE {
      public:
        // The four creation parameters are written back only when the surface is valid.
        SURFACE(IDirectX* owner, int32_t width, int32_t height, const Format& format, int32_t& kind,
                int32_t& orientation, int32_t& advance, int32_t& variant);
        ~SURFACE() override;
        void* lock(int wait) override;
        void unlock() override;
        int lockCount() override { return locks; }
        int lockable() override { return 1; }
        int restore() override;
        int nativeType() override { return 2; }
        // The address of the IDirectDrawSurface pointer.
        void* nativeData() override { return &surface; }
        int valid() override;

      private:
        HRESULT lockSurface(DDSURFACEDESC& description);
        HRESULT unlockSurface();
        HRESULT getPalette(IDirectDrawPalette** palette);
        HRESULT setPalette(IDirectDrawPalette* palette);
        void release();

        IDirectDrawSurface* surface = nullptr;
        IDirectDrawSurface2* surface2 = nullptr;
        int32_t primary = 0;
        IDirectX* owner; // not owned

        friend class IDirectX;
    };

    // window: a caller's window to draw into, or null to make full-screen windows of its own.
    explicit IDirectX(WindowHandle window = nullptr);
    ~IDirectX() override;

    int openMode(const MODE& mode) override;
    int open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption) override;
    int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t secondOption, int32_t thirdOption) override;
    MODE getMode() override;
    int setPalette(Palette& palette) override;
    int getPalette(Palette& palette) override;
    int waitRetrace() override;
    Surface* displaySurface() override { return display; }
    int nativeType() override { return NATIVE_DIRECTDRAW; }
    // The address of the IDirectDraw pointer, followed by the IDirectDraw2 pointer and the
    // module handle of "ddraw.dll".
    void* nativeData() override { return &link; }
    void name(char* buffer) override;
    int bits() override { return displayFormat.bits; }
    int bytes() override { return displayFormat.bytes; }
    int output() override { return outputOption; }
    int secondOption() override { return secondValue; }
    int thirdOption() override { return THIRD_OPTION; }
    Format format() override { return displayFormat; }
    int ok() override { return IWin32::ok() && initialised ? 1 : 0; }
    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override;

    // Restores the desktop mode and the normal cooperative level, destroys the display surface
    // and closes the window. Harmless when nothing is open.
    void close();

    // The owner of a window of this back end, or null.
    static IDirectX* lookup(HWND window);

    // A window of this back end and the object that owns it, in the process-wide lookup list.
    struct LOOKUP {
        HWND window;
        IDirectX* owner;
    };

  private:
    static LRESULT CALLBACK windowedProcedure(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK fullscreenProcedure(HWND, UINT, WPARAM, LPARAM);
    static LRESULT messageStep(IDirectX* owner, HWND, UINT, WPARAM, LPARAM);
    static void registerClasses();

    bool load();
    void unload();
    // Everything close does except closing the window.
    void closeDisplay();
    bool checkOutputOptions(int32_t& output, int32_t& secondOption, int32_t thirdOption);
    bool openWindow(int32_t width, int32_t height);
    bool exclusiveMode();
    bool setModeForCode(int32_t width, int32_t height, int32_t code);
    bool setModeForFormat(int32_t width, int32_t height, const Format& format);
    int openByCode(int32_t width, int32_t height, int32_t code, int32_t output,
                   int32_t secondOption, int32_t thirdOption);
    bool finishOpen(int32_t width, int32_t height, const Format& format, int32_t output,
                    int32_t secondOption);
    bool createDisplaySurface();
    void destroyDisplaySurface();
    // Registered surfaces that hold DirectDraw surfaces give them up (before DirectDraw goes).
    void dropDirectDrawSurfaces();
    void removeLookups();
    // Runs call (a DirectDraw request that changes the window's state) on the window's own
    // thread and returns its result; on the calling thread when there is no window or the
    // window thread no longer answers.
    template <class Call> HRESULT onWindowThread(Call call);

    directx::DirectDrawLink link;
    Format displayFormat;
    int32_t outputOption = 0;
    int32_t secondValue = 0;
    int32_t creatingPrimary = 0;    // the surface constructor accepts kind 31 only while set
    Surface* display = nullptr;     // owned; wraps the primary surface
    SURFACE* primary = nullptr;     // display's back-end surface, for the palette calls
    int32_t initialised = 0;        // DirectDraw was loaded at construction
    HWND exclusiveWindow = nullptr; // the window exclusive mode was granted for, or null

    friend class SURFACE;
};
