#pragma once
#include "backends/directx/DirectDraw.h"
#include "backends/win32/Win32.h"
#include "format/Format.h"

#include <atomic>
#include <cstdint>

class Surface;

// The full-screen back end: exclusive DirectDraw modes on a hidden pop-up window of its own,
// the screen as one primary surface written straight into (no back buffer, no flip), and the
// hardware palette of 8-bit modes. Windowed output is left to the GDI back end.
//
// Everything that can change the display mode, reset the device or move, restyle or resize the
// window (exclusive mode, the normal level, mode changes and restores, making, restoring and
// letting go of the screen's surface, reading the display format) is done on the window's own
// thread; made from another thread, the driver restyles the window from there, and a driver
// holding its own lock while it waits for the window's thread deadlocks against it. A window
// thread that does not answer fails the operation.
class IDirectX : public IWin32 {
  public:
    // A DirectDraw surface: system memory, or the screen's surface while the back end builds its
    // display surface. Copies are the software ones, through lock and unlock.
    class SURFACE : public IMemory::SURFACE {
      public:
        // The four creation parameters are written back only when the surface is valid.
        SURFACE(IDirectX* owner, int32_t width, int32_t height, const Format& format, int32_t& kind,
                int32_t& orientation, int32_t& advance, int32_t& variant);
        // The screen's surface is let go on the window's thread.
        ~SURFACE() override;
        void* lock(int wait) override;
        void unlock() override;
        int lockCount() override { return locks; }
        int lockable() override { return 1; }
        int restore() override;
        int nativeType() override { return NATIVE_SURFACE_DIRECTDRAW; }
        // The address of the IDirectDrawSurface pointer.
        void* nativeData() override { return &drawn.surface; }
        int valid() override;

      private:
        directx::DrawSurface drawn;
        int32_t primary = 0; // the screen's surface
        bool made = false;   // construction finished; valid() also asks DirectDraw
        IDirectX* owner;     // not owned

        friend class IDirectX;
    };

    // window: a caller's window to draw into, or null to make full-screen windows of its own.
    explicit IDirectX(WindowHandle window = nullptr);
    ~IDirectX() override;

    int open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption) override;
    int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t secondOption, int32_t thirdOption) override;
    int setPalette(Palette& palette) override;
    int getPalette(Palette& palette) override;
    int waitRetrace() override;
    int nativeType() override { return NATIVE_DIRECTDRAW; }
    // The address of the IDirectDraw pointer, followed by the IDirectDraw2 pointer and the
    // module handle of "ddraw.dll".
    void* nativeData() override { return &link; }
    void name(char* buffer) override;
    int ok() override { return IWin32::ok() && initialised ? 1 : 0; }

    // Restores the desktop mode and the normal cooperative level, destroys the display surface
    // and closes the window. Harmless when nothing is open.
    void close();

  protected:
    // The window procedures' handling of one message (see IWin32::windowProcedure).
    static LRESULT windowMessage(ProcedureUse& use, WindowKind kind, HWND window, UINT message,
                                 WPARAM wParam, LPARAM lParam);
    // Puts the desktop's own mode back through the system, not through DirectDraw, which the
    // application's thread may be in the middle of using.
    void endingOnClose() override;
    // The DirectDraw object goes too: with it the driver's own threads.
    void closeOnRequest() override;
    // What the destructor does: the display, the DirectDraw object, the window.
    void shutDown();
    // A DirectDraw surface in system memory, or null (a memory surface instead, which every
    // copy takes as well).
    ::SURFACE* createNativeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                   int32_t& orientation, int32_t& advance,
                                   int32_t& variant) override;
    // The screen's own surface: the display is written straight into, so a presentation is a
    // plain copy into it.
    ::SURFACE* makePrimary(int32_t width, int32_t height, const Format& format, int32_t& kind,
                           int32_t& orientation, int32_t& advance, int32_t& variant) override;
    friend class IWin32;

  private:
    // Runs a DirectDraw request on the window's thread; its result, or WINDOW_THREAD_FAILED
    // when the thread did not run it.
    template <class Work> HRESULT displayCall(Work work);
    // The screen's surface interfaces, made on the window's thread; empty on failure.
    directx::DrawSurface createScreenSurface();

    bool load();
    void unload();
    // Everything close does except closing the window: the mode and cooperative level put back,
    // the display surface destroyed, and then (unless unregister is false) the lookup record
    // removed.
    void closeDisplay(bool unregister = true);
    bool checkOutputOptions(int32_t& output, int32_t& secondOption, int32_t thirdOption);
    bool openWindow(int32_t width, int32_t height);
    bool exclusiveMode();
    // Sets the mode and reads the display format it gave; the format is empty on failure.
    bool setMode(int32_t width, int32_t height, int32_t depth, Format& format);
    bool setModeForCode(int32_t width, int32_t height, int32_t code, Format& format);
    bool setModeForFormat(int32_t width, int32_t height, const Format& format);
    int openByCode(int32_t width, int32_t height, int32_t code, int32_t output,
                   int32_t secondOption, int32_t thirdOption);
    bool finishOpen(int32_t width, int32_t height, const Format& format, int32_t output,
                    int32_t secondOption);
    // Registered surfaces that hold DirectDraw surfaces give them up (before DirectDraw goes).
    void dropDirectDrawSurfaces();
    // A DirectDraw surface of the request (the screen's while creatingPrimary is set); null when
    // DirectDraw cannot make it. The parameters are written back only on success.
    ::SURFACE* makeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                           int32_t& orientation, int32_t& advance, int32_t& variant);

    directx::DirectDrawLink link;
    SURFACE* primary = nullptr;           // display's back-end surface, for the palette calls
    int32_t initialised = 0;              // DirectDraw was loaded at construction
    HWND exclusiveWindow = nullptr;       // the window exclusive mode was granted for, or null
    std::atomic<bool> modeChanged{false}; // a display mode is set; read by the window thread

    friend class SURFACE;
};
