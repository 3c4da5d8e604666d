#include "backends/directx/DirectX.h"

#include "backends/directx/Modes.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace directx;

namespace {

constexpr char BACK_END_NAME[] = "DirectX";
constexpr char WINDOWED_CLASS[] = "PTC_DIRECTX_WINDOWED";
constexpr char FULLSCREEN_CLASS[] = "PTC_DIRECTX_FULLSCREEN";
constexpr DWORD EXCLUSIVE_FULLSCREEN = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;
// A request the window thread did not run: it had ended, or did not answer in time.
constexpr HRESULT WINDOW_THREAD_FAILED = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

} // namespace

template <class Work> HRESULT IDirectX::displayCall(Work work) {
    const auto result = onWindowThread(std::move(work));
    return result ? *result : WINDOW_THREAD_FAILED;
}

// ---- IDirectX::SURFACE

IDirectX::SURFACE::SURFACE(IDirectX* creator, int32_t width, int32_t height, const Format& format,
                           int32_t& kind, int32_t& orientation, int32_t& advance, int32_t& variant)
    : owner(creator) {
    if (!owner || !owner->link.loaded()) return;
    if (width <= 0 || height <= 0 || !format.ok()) return;
    if (kind != KIND_MEMORY && kind != KIND_PRIMARY && kind != KIND_ANY && kind != -1) return;
    if (orientation != TOP_DOWN && orientation != -1) return;
    if (advance < -1) return;
    if (variant != VARIANT_DEFAULT && variant != -1) return;
    if (format.type == DIRECT && format.model != RGB_MODEL) return;

    const int32_t usedKind = kind == KIND_PRIMARY ? KIND_PRIMARY : KIND_MEMORY;
    if (usedKind == KIND_MEMORY) {
        DDSURFACEDESC description = {};
        description.dwSize = sizeof(description);
        description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        description.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
        description.dwWidth = DWORD(width);
        description.dwHeight = DWORD(height);
        if (!pixelFormatFromFormat(format, description.ddpfPixelFormat)) return;
        if (owner->link.object.createSurface(description, drawn.surface) != DD_OK) return;
    } else {
        // Only the back end's own display surface may be the screen.
        if (!owner->creatingPrimary) return;
        primary = 1;
        drawn = owner->createScreenSurface();
    }
    // From here the destructor lets go of what was made, on the right thread.
    if (!drawn) return;
    DDSURFACEDESC actual = {};
    actual.dwSize = sizeof(actual);
    if (drawn.surface->GetSurfaceDesc(&actual) != DD_OK) return;
    // The rows written by the clear and by every copy must lie inside the surface: a primary
    // smaller than the display size asked for, or a pitch shorter than a row, is refused.
    const int64_t rowBytes = int64_t(width) * format.bytes;
    if (actual.dwWidth < DWORD(width) || actual.dwHeight < DWORD(height) ||
        int64_t(actual.lPitch) < rowBytes)
        return;
    const int64_t actualAdvance = int64_t(actual.lPitch) - rowBytes;
    if (advance != -1 && actualAdvance != advance) return;
    drawn.surface2 = drawn.surface.query<IDirectDrawSurface2>(iidDirectDrawSurface2);

    // Cleared through an unrelated lock description: Lock reports the pitch that applies now.
    DDSURFACEDESC locked = {};
    locked.dwSize = sizeof(locked);
    HRESULT result = drawn.lock(locked);
    if (result == DDERR_SURFACELOST && restore()) result = drawn.lock(locked);
    if (result != DD_OK) return;
    const bool usable = locked.lpSurface && int64_t(locked.lPitch) >= rowBytes;
    uint8_t* row = static_cast<uint8_t*>(locked.lpSurface);
    for (int32_t y = 0; usable && y < height; ++y, row += locked.lPitch)
        std::memset(row, 0, size_t(rowBytes));
    drawn.unlock();
    if (!usable) return;

    made = true;
    kind = usedKind;
    orientation = TOP_DOWN;
    advance = int32_t(actualAdvance);
    variant = VARIANT_DEFAULT;
}

IDirectX::SURFACE::~SURFACE() {
    if (owner && owner->primary == this) owner->primary = nullptr;
    if (locks > 0 && drawn) drawn.unlock();
    if (!primary || !drawn || !owner) return;
    // Letting go of the screen's surface takes the window out of full screen: on its thread.
    // Should that thread not answer, the surface is left as it is (see WindowThreadOwned).
    WindowThreadOwned<DrawSurface> screen(new (std::nothrow) DrawSurface(std::move(drawn)));
    if (!screen) return;
    owner->displayCall([screen = std::move(screen)] {
        screen->releaseScreen();
        return DD_OK;
    });
}

void* IDirectX::SURFACE::lock(int) {
    if (!drawn) return nullptr;
    if (locks > 0) {
        if (pixels && valid()) {
            ++locks;
            return pixels;
        }
        // Lost while locked: the DirectDraw lock is given back too, so a later lock starts clean.
        drawn.unlock();
        locks = 0;
        pixels = nullptr;
        return nullptr;
    }
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    HRESULT result = drawn.lock(description);
    if (result == DDERR_SURFACELOST && primary && restore()) result = drawn.lock(description);
    if (result != DD_OK) return nullptr;
    pixels = static_cast<uint8_t*>(description.lpSurface);
    locks = 1;
    return pixels;
}

void IDirectX::SURFACE::unlock() {
    if (locks == 1 && drawn) {
        drawn.unlock();
        pixels = nullptr;
    }
    if (locks > 0) --locks;
}

int IDirectX::SURFACE::restore() {
    if (!drawn) return 0;
    if (!primary) return drawn.restore(false) == DD_OK ? 1 : 0;
    // Restoring the screen's surface may reset the device: on the window's thread.
    if (!owner || owner->displayCall([screen = drawn] { return screen.restore(true); }) != DD_OK)
        return 0;
    // The screen came back empty: show the last presented surface again, if any.
    LockHold hold(owner->paintLock);
    Surface* shown = owner->paintSurface();
    if (shown) shown->update(*owner);
    return 1;
}

int IDirectX::SURFACE::valid() {
    return made && drawn.isLost() == DD_OK ? 1 : 0;
}

// ---- IDirectX

IDirectX::IDirectX(WindowHandle window) : IWin32(window) {
    if (!load()) return;
    if (ownsWindow) {
        registerWindowClass(WINDOWED_CLASS, CS_HREDRAW | CS_VREDRAW,
                            windowProcedure<IDirectX, WindowKind::WINDOWED>, true);
        registerWindowClass(FULLSCREEN_CLASS, 0, windowProcedure<IDirectX, WindowKind::FULL_SCREEN>,
                            false);
        link.object.enumerateModes(modeList(), BACK_END_NAME);
    }
    initialised = 1;
    // From here on the whole process runs at high priority.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

IDirectX::~IDirectX() {
    shutDown();
}

void IDirectX::closeOnRequest() {
    shutDown();
}

void IDirectX::shutDown() {
    closeDisplay();
    // No window procedure reaches this object any more once it has let go of it.
    awaitProceduresOrEnd();
    dropDirectDrawSurfaces();
    // The object goes while the window is still there, on its thread: destroying it resets its
    // device. Left as it is when that thread does not answer, like the screen's surface.
    if (windowHandle) {
        WindowThreadOwned<DirectDraw> object(new (std::nothrow) DirectDraw(std::move(link.object)));
        displayCall([object = std::move(object)] {
            if (object) object->release();
            return DD_OK;
        });
    }
    close();
    unload();
}

bool IDirectX::load() {
    unload();
    return link.load();
}

void IDirectX::unload() {
    close();
    dropDirectDrawSurfaces();
    if (windowThreadLeft) {
        // Releasing DirectDraw would wait for the driver's lock, which the thread left behind
        // may hold for good: the objects are let go of without releasing them.
        link.object.directDraw.detach();
        link.object.directDraw2.detach();
        link.library.release();
    }
    link.unload();
}

void IDirectX::dropDirectDrawSurfaces() {
    // Software surfaces made as a fallback keep their pixels.
    surfaces.forEach([](const Registration& r) {
        if (r.surface && r.surface->nativeType() == NATIVE_SURFACE_DIRECTDRAW) r.surface->close();
    });
}

DrawSurface IDirectX::createScreenSurface() {
    auto screen = onWindowThread([directDraw = link.object] {
        DrawSurface made;
        directDraw.createPrimarySurface(made.surface);
        return made;
    });
    // Moved out, so no reference to the screen's surface is let go of here.
    return screen ? std::move(*screen) : DrawSurface();
}

void IDirectX::closeDisplay(bool unregister) {
    bool bySystem = modeChanged;
    if (exclusiveWindow && link.loaded()) {
        // Undone where it was done, on the window's thread.
        const HRESULT restored = displayCall([directDraw = link.object] {
            const HRESULT mode = directDraw.restoreDisplayMode();
            const HRESULT level = directDraw.setCooperativeLevel(nullptr, DDSCL_NORMAL);
            return mode != DD_OK ? mode : level;
        });
        bySystem = restored == WINDOW_THREAD_FAILED;
    }
    // The screen's own mode comes back through the system all the same.
    if (bySystem) ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    exclusiveWindow = nullptr;
    modeChanged = false;
    destroyDisplaySurfaces();
    displayWidth = displayHeight = 0;
    displayFormat = Format();
    outputOption = secondOptionValue = 0;
    // Only now that the mode is back: until here a close request reaches this object, which
    // puts the mode back before the process ends.
    if (unregister) WindowLookup<IDirectX>::remove(this);
}

void IDirectX::close() {
    closeDisplay();
    if (ownsWindow) closeWindow();
}

bool IDirectX::checkOutputOptions(int32_t& output, int32_t& second, int32_t third) {
    return ownsWindow && acceptOptions(FULLSCREEN_OUTPUT, output, second, third);
}

bool IDirectX::openWindow(int32_t width, int32_t height) {
    // An earlier display goes first, so its primary surface and lookup record do not outlive
    // its window.
    closeDisplay();
    // Hidden, and not brought to the foreground: exclusive mode takes the screen.
    if (!createWindow(FULLSCREEN_CLASS, WS_POPUP, SW_HIDE, width, height)) return false;
    // Registered before the first mode change: a close request from here on reaches this
    // object, which puts the mode back.
    return WindowLookup<IDirectX>::insert(windowHandle, this);
}

bool IDirectX::exclusiveMode() {
    const HWND window = windowHandle;
    if (!window) return false;
    // Asked again for every depth tried: once granted for this window it holds.
    if (exclusiveWindow == window) return true;
    HRESULT result = displayCall([directDraw = link.object, window] {
        return directDraw.setCooperativeLevel(window, EXCLUSIVE_FULLSCREEN);
    });
    if (result == DDERR_HWNDALREADYSET) {
        // The DirectDraw object is bound to another window while its surfaces live: a new
        // object takes this one. The window itself stays, and stays registered. The old object
        // goes on the window's thread, since letting go of it restores what it set.
        closeDisplay(false);
        dropDirectDrawSurfaces();
        struct Replaced {
            DirectDraw object;
            HRESULT result;
        };
        // Left as it is when the thread does not run this, like the screen's surface; a new
        // object the caller gave up on goes on that thread too (WindowThread::Task).
        WindowThreadOwned<DirectDraw> old(new (std::nothrow) DirectDraw(std::move(link.object)));
        auto replaced =
            onWindowThread([old = std::move(old), create = link.directDrawCreate, window] {
                if (old) old->release();
                Replaced fresh = {DirectDraw(), DDERR_GENERIC};
                if (fresh.object.create(create))
                    fresh.result = fresh.object.setCooperativeLevel(window, EXCLUSIVE_FULLSCREEN);
                return fresh;
            });
        if (!replaced) return false;
        link.object = std::move(replaced->object);
        result = replaced->result;
    }
    if (result != DD_OK) return false;
    exclusiveWindow = window;
    return true;
}

bool IDirectX::setMode(int32_t width, int32_t height, int32_t depth, Format& format) {
    format = Format();
    if (!exclusiveMode()) return false;
    struct ModeSet {
        HRESULT result;
        Format format;
    };
    // Before the change: a close request while it happens puts the desktop's mode back.
    modeChanged = true;
    const auto set = onWindowThread([directDraw = link.object, width, height, depth] {
        ModeSet done = {directDraw.setDisplayMode(width, height, depth), Format()};
        if (done.result == DD_OK) done.format = directDraw.displayFormat();
        return done;
    });
    if (!set || set->result != DD_OK) return false;
    format = set->format;
    return true;
}

bool IDirectX::setModeForCode(int32_t width, int32_t height, int32_t code, Format& format) {
    int32_t depths[MAX_DEPTHS];
    const int n = depthsForCode(code, depths);
    for (int i = 0; i < n; ++i)
        if (setMode(width, height, depths[i], format)) return true;
    return false;
}

bool IDirectX::setModeForFormat(int32_t width, int32_t height, const Format& format) {
    if (!format.ok()) return false;
    Format actual;
    if (!setMode(width, height, format.bits, actual)) return false;
    if (actual.ok() && actual == format) return true;
    std::fputs("display format and requested format dont match!\n", stdout);
    std::fflush(stdout);
    return false;
}

bool IDirectX::finishOpen(int32_t width, int32_t height, const Format& format, int32_t output,
                          int32_t second) {
    displayWidth = width;
    displayHeight = height;
    displayFormat = format;
    outputOption = output;
    secondOptionValue = second;
    return windowHandle && createDisplaySurface();
}

int IDirectX::openByCode(int32_t width, int32_t height, int32_t code, int32_t output,
                         int32_t second, int32_t third) {
    if (!ok() || width <= 0 || height <= 0) return 0;
    if (!modeCodeAvailable(modeList(), width, height, code)) return 0;
    // Refused options leave the screen and any open display untouched.
    if (!checkOutputOptions(output, second, third)) return 0;
    Format format;
    if (!openWindow(width, height) || !setModeForCode(width, height, code, format) ||
        !format.ok() || !finishOpen(width, height, format, output, second)) {
        close();
        return 0;
    }
    return 1;
}

int IDirectX::open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t second,
                   int32_t third) {
    const int32_t code = translateModeCode(mode);
    if (openByCode(width, height, code, output, second, third)) return 1;
    return openFormat(width, height, Format(code), output, second, third);
}

int IDirectX::openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                         int32_t second, int32_t third) {
    if (!ok() || width <= 0 || height <= 0 || !format.ok()) return 0;
    if (!formatAvailable(modeList(), width, height, format)) return 0;
    if (!checkOutputOptions(output, second, third)) return 0;
    if (!openWindow(width, height) || !setModeForFormat(width, height, format) ||
        !finishOpen(width, height, format, output, second)) {
        close();
        return 0;
    }
    return 1;
}

void IDirectX::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}

int IDirectX::waitRetrace() {
    return link.loaded() && link.object.waitForVerticalBlank() == DD_OK ? 1 : 0;
}

// No lock is held across the palette calls: the driver may send the window messages while it
// updates the screen, and the window procedure would wait for that lock.
int IDirectX::setPalette(Palette& palette) {
    if (displayFormat.type != INDEXED || !display || !primary) return 0;
    // ABGR8888 is the byte order of a DirectDraw palette entry: red, green, blue, flags.
    const void* table = palette.lookup(Format(ABGR8888), 4);
    if (!table) return 0;
    PALETTEENTRY entries[Palette::COLOURS];
    std::memcpy(entries, table, sizeof(entries));
    ComPtr<IDirectDrawPalette> hardware;
    const HRESULT attached = primary->drawn.getPalette(hardware);
    if (attached == DDERR_NOPALETTEATTACHED) {
        if (link.object.createPalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, hardware) !=
                DD_OK ||
            !hardware)
            return 0;
        // The surface keeps its own reference; ours goes at the end of the scope.
        if (primary->drawn.setPalette(hardware.get()) != DD_OK) return 0;
    } else if (attached != DD_OK || !hardware) {
        return 0;
    }
    return hardware->SetEntries(0, 0, Palette::COLOURS, entries) == DD_OK ? 1 : 0;
}

int IDirectX::getPalette(Palette& palette) {
    if (displayFormat.type != INDEXED || !display || !primary) return 0;
    ComPtr<IDirectDrawPalette> hardware;
    if (primary->drawn.getPalette(hardware) != DD_OK || !hardware) return 0;
    // Read aside first, so a failing read leaves the palette's colours as they were.
    PALETTEENTRY entries[Palette::COLOURS];
    if (hardware->GetEntries(0, 0, Palette::COLOURS, entries) != DD_OK) return 0;
    uint32_t* colours = palette.lock();
    if (!colours) return 0;
    std::memcpy(colours, entries, sizeof(entries));
    swapRedAndBlue(colours, Palette::COLOURS);
    palette.unlock();
    return 1;
}

::SURFACE* IDirectX::makeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                 int32_t& orientation, int32_t& advance, int32_t& variant) {
    int32_t k = kind, o = orientation, a = advance, v = variant;
    SURFACE* made = new (std::nothrow) SURFACE(this, width, height, format, k, o, a, v);
    if (!made || !made->valid()) {
        delete made;
        return nullptr;
    }
    kind = k;
    orientation = o;
    advance = a;
    variant = v;
    if (made->primary) primary = made;
    return made;
}

::SURFACE* IDirectX::createNativeSurface(int32_t& width, int32_t& height, Format& format,
                                         int32_t& kind, int32_t& orientation, int32_t& advance,
                                         int32_t& variant) {
    return makeSurface(width, height, format, kind, orientation, advance, variant);
}

::SURFACE* IDirectX::makePrimary(int32_t width, int32_t height, const Format& format, int32_t& kind,
                                 int32_t& orientation, int32_t& advance, int32_t& variant) {
    Format requested = format;
    return makeSurface(width, height, requested, kind, orientation, advance, variant);
}

void IDirectX::endingOnClose() {
    // Left changed, the desktop would stay in this mode after the process: Wine's virtual
    // desktop does, and the next program started into it cannot show its window.
    if (modeChanged) ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
}

LRESULT IDirectX::windowMessage(ProcedureUse& use, WindowKind kind, HWND window, UINT message,
                                WPARAM wParam, LPARAM lParam) {
    const bool owned = bool(use);
    const bool fullScreen = kind == WindowKind::FULL_SCREEN;
    if (fullScreen) {
        switch (message) {
        case WM_CREATE:
        case WM_SETCURSOR:
            use.release();
            SetCursor(nullptr);
            return 0;
        case WM_ACTIVATE:
            use.release();
            if (LOWORD(wParam) == WA_ACTIVE && owned) SetCursor(nullptr);
            break;
        case WM_PAINT:
            // DirectDraw owns the screen: nothing to paint. Validated all the same, or the update
            // region keeps WM_PAINT coming and the window thread spins at high priority.
            use.release();
            if (owned) SetCursor(nullptr);
            ValidateRect(window, nullptr);
            return 0;
        default:
            break;
        }
    }
    // DirectDraw keeps the hardware palette: the palette messages need nothing.
    if (owned && (message == WM_QUERYNEWPALETTE || message == WM_PALETTECHANGED)) return 0;
    // A full-screen window nobody owns (not yet registered, or no longer) may still be in a mode
    // it set: a close request puts the desktop's mode back before the process ends.
    return IWin32::handleMessage(use, window, message, wParam, lParam, fullScreen);
}
