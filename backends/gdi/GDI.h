#pragma once
#include "backends/gdi/Dib.h"
#include "backends/gdi/DrawDib.h"
#include "backends/gdi/LogicalPalette.h"
#include "backends/win32/Win32.h"
#include "display/List.h"
#include "display/Palette.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class Surface;

// The windowed display: the desktop's pixel format at any size, shown in an ordinary window
// whose client area the display is stretched to. Application surfaces are DIB sections drawn
// into the window with DrawDibDraw or StretchBlt; on an 8-bit desktop a logical palette made
// from the display palette answers the palette messages.
class IGDI : public IWin32 {
  public:
    // An application surface held as a DIB section. nativeData is the address of the section
    // record, whose first field is the bitmap.
    class SURFACE : public IMemory::SURFACE {
      public:
        // Checks the request and makes the section; valid() tells whether that worked. The
        // four creation parameters are written back only then.
        SURFACE(int32_t width, int32_t height, const Format& format, int32_t& kind,
                int32_t& orientation, int32_t& advance, int32_t& variant);
        ~SURFACE() override = default;
        // Flushes GDI's batch first, so the pixels are the ones GDI has drawn.
        void* lock(int wait) override;
        void unlock() override;
        int lockCount() override { return locks; }
        int nativeType() override { return NATIVE_SURFACE_DIB; }
        void* nativeData() override { return &dib; }
        int valid() override { return dib.ok() ? 1 : 0; }

        DibSection dib;
    };

    // window: a caller's window to draw into at its client size, or null to own windows.
    explicit IGDI(WindowHandle window = nullptr);
    // The same with a given desktop format instead of the screen's (an 8-bit desktop where the
    // screen cannot have one).
    IGDI(WindowHandle window, const Format& desktop);
    ~IGDI() override;

    int setPalette(Palette& palette) override;
    int getPalette(Palette& palette) override;
    int waitRetrace() override { return 0; }
    void name(char* buffer) override;
    int ok() override { return IWin32::ok() && ready ? 1 : 0; }

    // Closes the window and destroys the display and staging surfaces.
    void close();

    // Draws a DIB surface's source area into the window at the destination area's stretched
    // place; see Presentation.h. Non-zero on success.
    int present(Surface& source, const Rect& sourceArea, const Rect& destinationArea);

    // The logical palette, for inspection; null handle when none.
    HPALETTE logicalPaletteHandle() const { return logical.handle.get(); }

  protected:
    // The window procedures' handling of one message (see IWin32::windowProcedure).
    static LRESULT windowMessage(ProcedureUse& use, WindowKind kind, HWND window, UINT message,
                                 WPARAM wParam, LPARAM lParam);
    void closeOnRequest() override { close(); }
    // A window of the requested client size in the desktop's format (the codes and format of
    // IWindowed::open, with INDEXED and the desktop's depth); an existing one is resized when it
    // still fits on the screen.
    int openDisplay(int32_t width, int32_t height, int32_t output, int32_t secondOption,
                    int32_t thirdOption) override;
    // A DIB section of the request, or null when GDI cannot hold it (a memory surface instead).
    ::SURFACE* createNativeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                   int32_t& orientation, int32_t& advance,
                                   int32_t& variant) override;
    // The staging surface must be a DIB section: it is drawn from.
    bool stagingUsable(Surface& surface) override;
    // DIB surfaces are shown as they are; others are converted into the staging surface under
    // paintLock, held until it is drawn, so a repaint never shows it half written.
    Surface* beginPresentation(Surface& source, const Rect& sourceArea, const Rect& destinationArea,
                               int& result) override;
    int finishPresentation(Surface& shown, const Rect& shownArea,
                           const Rect& destinationArea) override;
    void cancelPresentation() override;
    friend class IWin32;

  private:
    void closeOwnedWindow();
    // Both display surfaces at the display's size; false when either cannot be had.
    bool createSurfaces();
    // Builds the logical palette from palette and tells the windows; 1 when it was made.
    int realisePalette();
    // WM_QUERYNEWPALETTE and WM_PALETTECHANGED.
    LRESULT paletteMessage(HWND window, UINT message, WPARAM wParam);
    void construct();
    int presentLocked(Surface& source, const Rect& sourceArea, const Rect& destinationArea);
    int draw(Surface& source, const Rect& sourceArea, const Rect& target);
    int stretch(DibSection& dib, const Rect& sourceArea, const Rect& target,
                const uint32_t* colours, bool selectPalette);

    int32_t refreshRate = 0;
    bool stagingHeld = false; // paintLock is held for a presentation through staging
    Palette palette;          // the display palette of an 8-bit desktop
    LogicalPalette logical;
    std::unique_ptr<DrawDib> drawDib; // null when it could not be allocated
    int32_t ready = 0;
};
