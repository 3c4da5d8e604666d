#include "backends/gdi/GDI.h"

#include "backends/gdi/Presentation.h"
#include "display/MODE.h"
#include "display/Surface.h"

#include <cstring>
#include <new>
#include <optional>

namespace {

constexpr char BACK_END_NAME[] = "GDI";
constexpr char WINDOWED_CLASS[] = "PTC_GDI_WINDOWED";
constexpr char FULLSCREEN_CLASS[] = "PTC_GDI_FULLSCREEN";

bool emptyArea(const Rect& r) {
    return r.x2 <= r.x1 || r.y2 <= r.y1;
}

} // namespace

// ---- surfaces ----

IGDI::SURFACE::SURFACE(int32_t width, int32_t height, const Format& format, int32_t& kind,
                       int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (width <= 0 || height <= 0 || !format.ok()) return;
    if (kind != KIND_MEMORY && kind != KIND_ANY && kind != -1) return;
    if (orientation != TOP_DOWN && orientation != BOTTOM_UP && orientation != -1) return;
    if (advance < -1) return;
    if (variant != VARIANT_DEFAULT && variant != -1) return;
    const int32_t chosenOrientation = orientation == -1 ? BOTTOM_UP : orientation;
    // GDI pads every row to 4 bytes; no other advance can be had.
    const int32_t padding = dibAdvance(width, format.bytes);
    if (advance != -1 && advance != padding) return;
    if (format.type == DIRECT && format.model != RGB_MODEL) return;
    if (!dib.create(width, height, format, chosenOrientation)) return;
    kind = KIND_MEMORY;
    orientation = chosenOrientation;
    advance = padding;
    variant = VARIANT_DEFAULT;
}

void* IGDI::SURFACE::lock(int) {
    if (!dib.ok()) return nullptr;
    GdiFlush(); // GDI may still be drawing into the section
    ++locks;
    return dib.row0();
}

void IGDI::SURFACE::unlock() {
    if (locks > 0) --locks;
}

// ---- construction ----

IGDI::IGDI(WindowHandle window) : IWin32(window) {
    displayFormat = desktopFormat();
    construct();
}

IGDI::IGDI(WindowHandle window, const Format& desktop) : IWin32(window) {
    displayFormat = desktop;
    construct();
}

void IGDI::construct() {
    ready = 1;
    // DIB sections are bottom-up unless asked otherwise, and so is the display.
    primaryOrientation = BOTTOM_UP;
    codesByDepth = true;
    refreshRate = screenRefreshRate();
    if (ownsWindow) {
        registerWindowClass(WINDOWED_CLASS, CS_HREDRAW | CS_VREDRAW,
                            windowProcedure<IGDI, WindowKind::WINDOWED>, true);
        registerWindowClass(FULLSCREEN_CLASS, 0, windowProcedure<IGDI, WindowKind::FULL_SCREEN>,
                            false);
        addMode(modeRecord(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                           displayFormat, WINDOW_OUTPUT, refreshRate));
    } else if (!IWin32::ok() || !createSurfaces()) {
        ready = 0;
    }
    drawDib.reset(new (std::nothrow) DrawDib());
}

IGDI::~IGDI() {
    if (!ownsWindow) destroyDisplaySurfaces();
    close();
    // No window procedure reaches this object any more once it has let go of it.
    awaitProceduresOrEnd();
    LockHold hold(paletteLock);
    logical.release();
}

// ---- window procedures ----

LRESULT IGDI::windowMessage(ProcedureUse& use, WindowKind kind, HWND window, UINT message,
                            WPARAM wParam, LPARAM lParam) {
    // No window of the full-screen class is ever made; its procedure answers everything so.
    if (kind == WindowKind::FULL_SCREEN) return 0;
    // Realising the palette presents with the owner held, like a repaint.
    IGDI* owner = use.get<IGDI>();
    if (owner && (message == WM_QUERYNEWPALETTE || message == WM_PALETTECHANGED))
        return owner->paletteMessage(window, message, wParam);
    return IWin32::handleMessage(use, window, message, wParam, lParam);
}

LRESULT IGDI::paletteMessage(HWND window, UINT message, WPARAM wParam) {
    // RealizePalette may repaint the window at once, and a repaint presents, taking paintLock
    // and then paletteLock. Taking them here in that same order keeps this thread from holding
    // paletteLock while waiting for a presentation on the application's thread that waits for
    // paletteLock.
    LockHold paint(paintLock);
    LockHold palettes(paletteLock);
    const bool ours = message == WM_QUERYNEWPALETTE || reinterpret_cast<HWND>(wParam) != window;
    if (logical.handle && ours &&
        realisePaletteInWindow(window, logical.handle.get(), message == WM_PALETTECHANGED))
        SendMessageA(window, WM_PAINT, 0, 0); // on this thread: a direct call
    return 0;
}

// ---- opening and closing ----

int IGDI::openDisplay(int32_t width, int32_t height, int32_t output, int32_t second,
                      int32_t third) {
    // Options first: a refused open changes nothing.
    if (!ownsWindow || !ok()) return 0;
    // The refresh rate is what getModes offers as the second option, so that mode must open.
    if (second != 0 && second != -1 && second != secondOptionValue && second != refreshRate)
        return 0;
    if (!acceptOptions(WINDOW_OUTPUT, output, second, third)) return 0;
    if (width <= 0 || height <= 0 || !displayFormat.ok()) return 0;
    const int64_t outerWidth = int64_t(width) + 2 * GetSystemMetrics(SM_CXFRAME);
    const int64_t outerHeight =
        int64_t(height) + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    if (outerWidth > INT32_MAX || outerHeight > INT32_MAX) return 0;

    bool reuse = false;
    if (windowHandle && IsWindow(windowHandle)) {
        RECT r;
        reuse = GetWindowRect(windowHandle, &r) &&
                r.left + outerWidth <= GetSystemMetrics(SM_CXSCREEN) &&
                r.top + outerHeight <= GetSystemMetrics(SM_CYSCREEN);
    }
    if (reuse) reuse = resizeWindow(int(outerWidth), int(outerHeight)) != 0;
    if (!reuse) {
        closeOwnedWindow();
        if (!createWindow(WINDOWED_CLASS, WS_OVERLAPPEDWINDOW, SW_SHOWNORMAL, int(outerWidth),
                          int(outerHeight))) {
            close();
            return 0;
        }
    }
    if (!WindowLookup<IGDI>::insert(windowHandle, this)) {
        close();
        return 0;
    }
    displayWidth = width;
    displayHeight = height;
    secondOptionValue = second;
    outputOption = output;
    if (!createSurfaces()) {
        close();
        return 0;
    }
    return 1;
}

void IGDI::closeOwnedWindow() {
    if (!ownsWindow) return;
    bool hasPalette;
    {
        LockHold hold(paletteLock);
        hasPalette = bool(logical.handle);
    }
    if (hasPalette && windowHandle) {
        clearPaintSurface();
        PostMessageA(windowHandle, WM_PAINT, 0, 0);
    }
    closeWindow();
    // The handle may be given to another window now.
    WindowLookup<IGDI>::remove(this);
}

void IGDI::close() {
    closeOwnedWindow();
    destroyDisplaySurfaces();
    if (ownsWindow) {
        displayWidth = displayHeight = 0;
        outputOption = 0;
    }
}

bool IGDI::createSurfaces() {
    // -1: the orientation a DIB section takes by default.
    return createDisplaySurface() && createStagingSurface(-1);
}

bool IGDI::stagingUsable(Surface& surface) {
    return surface.nativeType() == NATIVE_SURFACE_DIB;
}

::SURFACE* IGDI::createNativeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                     int32_t& orientation, int32_t& advance, int32_t& variant) {
    auto* made =
        new (std::nothrow) SURFACE(width, height, format, kind, orientation, advance, variant);
    if (made && made->valid()) return made;
    delete made;
    return nullptr;
}

// ---- modes and palettes ----

void IGDI::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}

int IGDI::setPalette(Palette& colours) {
    LockHold hold(paletteLock);
    if (displayFormat.type != INDEXED) return 0;
    // Assignment leaves the display palette alone when either has no colours.
    if (!colours.ok() || !palette.ok()) return 0;
    palette = colours;
    return realisePalette();
}

int IGDI::getPalette(Palette& colours) {
    LockHold hold(paletteLock);
    if (displayFormat.type != INDEXED) return 0;
    if (!colours.ok() || !palette.ok()) return 0;
    colours = palette;
    return 1;
}

int IGDI::realisePalette() {
    LockHold hold(paletteLock);
    logical.release();
    const uint32_t* colours = palette.data();
    if (!colours) return 0;
    const bool made = logical.create(colours);
    if (windowHandle) PostMessageA(windowHandle, WM_PALETTECHANGED, 0, 0);
    return made ? 1 : 0;
}

// ---- presentation ----

Surface* IGDI::beginPresentation(Surface& source, const Rect&, const Rect&, int& result) {
    result = 0;
    if (source.nativeType() == NATIVE_SURFACE_DIB) return &source;
    paintLock.enter();
    if (!staging) {
        paintLock.leave();
        Sleep(0);
        return nullptr;
    }
    stagingHeld = true;
    return staging;
}

void IGDI::cancelPresentation() {
    if (stagingHeld) {
        stagingHeld = false;
        paintLock.leave();
    }
    Sleep(0);
}

int IGDI::finishPresentation(Surface& shown, const Rect& shownArea, const Rect& destinationArea) {
    if (!stagingHeld) return present(shown, shownArea, destinationArea);
    const int result = presentLocked(shown, shownArea, destinationArea);
    stagingHeld = false;
    paintLock.leave();
    Sleep(0);
    return result;
}

int IGDI::present(Surface& source, const Rect& sourceArea, const Rect& destinationArea) {
    const int result = presentLocked(source, sourceArea, destinationArea);
    Sleep(0); // lets the window thread repaint between frames
    return result;
}

int IGDI::presentLocked(Surface& source, const Rect& sourceArea, const Rect& destinationArea) {
    LockHold paint(paintLock);
    if (!windowHandle || !dc) return 0;
    // An empty area or a minimised window shows nothing, which is no failure.
    if (emptyArea(sourceArea) || emptyArea(destinationArea)) return 1;
    RECT client;
    if (!GetClientRect(windowHandle, &client)) return 0;
    if (client.right <= 0 || client.bottom <= 0) return 1;
    Rect target;
    bool wholeClient = false;
    if (!presentationTarget(client.right, client.bottom, displayWidth, displayHeight,
                            destinationArea, target, wholeClient))
        return 0;
    const int result = draw(source, sourceArea, target);
    // Only this back end's own surfaces tell it when they go away.
    if (result && wholeClient && source.backEnd() == this)
        setPaintSurface(&source, sourceArea, destinationArea);
    return result;
}

int IGDI::draw(Surface& source, const Rect& sourceArea, const Rect& target) {
    if (source.nativeType() != NATIVE_SURFACE_DIB) return 0;
    auto* dib = static_cast<DibSection*>(source.nativeData());
    if (!dib || !dib->ok()) return 0;
    const Format format = source.format();
    const uint32_t* sourceColours = nullptr;
    if (format.type == INDEXED) {
        const Palette* own = source.palette();
        sourceColours = (own ? *own : defaultPalette()).data();
        if (!sourceColours) return 0;
    }
    LockHold palettes(paletteLock);
    const PresentationPlan plan =
        planPresentation(format, source.orientation(), displayFormat, logical.ok());
    if (!plan.possible) return 0;
    if (plan.tryDrawDib && drawDib && drawDib->canDraw()) {
        if (plan.colourTableForDrawDib && dib->colourTable())
            coloursToColourTable(sourceColours, dib->colourTable(), Palette::COLOURS);
        if (drawDib->draw(dc.get(), target.x1, target.y1, target.width(), target.height(),
                          &dib->info->bmiHeader, dib->bits, sourceArea.x1, sourceArea.y1,
                          sourceArea.width(), sourceArea.height(), plan.drawDibFlags))
            return 1;
    }
    const uint32_t* colours = nullptr;
    if (plan.stretchColours == PresentColours::SOURCE_PALETTE) colours = sourceColours;
    if (plan.stretchColours == PresentColours::DISPLAY_PALETTE) {
        colours = palette.data();
        if (!colours) return 0;
    }
    return stretch(*dib, sourceArea, target, colours, plan.selectLogicalPalette);
}

int IGDI::stretch(DibSection& dib, const Rect& sourceArea, const Rect& target,
                  const uint32_t* colours, bool selectPalette) {
    const MemoryDc memory(CreateCompatibleDC(dc.get()));
    if (!memory) return 0;
    const Selection section(memory.get(), dib.bitmap.get());
    if (!section) return 0;
    if (colours) {
        RGBQUAD table[Palette::COLOURS];
        coloursToColourTable(colours, table, Palette::COLOURS);
        SetDIBColorTable(memory.get(), 0, Palette::COLOURS, table);
    }
    std::optional<PaletteSelection> selected;
    if (selectPalette) {
        selected.emplace(dc.get(), logical.handle.get());
        if (!*selected) return 0;
    }
    // The default mode ANDs rows together when shrinking colour pictures.
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    const BOOL drawn =
        StretchBlt(dc.get(), target.x1, target.y1, target.width(), target.height(), memory.get(),
                   sourceArea.x1, sourceArea.y1, sourceArea.width(), sourceArea.height(), SRCCOPY);
    return drawn ? 1 : 0;
}
