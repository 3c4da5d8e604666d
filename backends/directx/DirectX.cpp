#include "backends/directx/DirectX.h"

#include "backends/directx/Modes.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

using namespace directx;

namespace {

constexpr char BACK_END_NAME[] = "DirectX";
constexpr char WINDOWED_CLASS[] = "PTC_DIRECTX_WINDOWED";
constexpr char FULLSCREEN_CLASS[] = "PTC_DIRECTX_FULLSCREEN";
constexpr DWORD EXCLUSIVE_FULLSCREEN = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;

// Built on first use and never destroyed: a window thread may still search it while exit
// runs the static destructors after a WM_CLOSE.
List<IDirectX::LOOKUP>& lookups() {
    alignas(List<IDirectX::LOOKUP>) static unsigned char storage[sizeof(List<IDirectX::LOOKUP>)];
    static List<IDirectX::LOOKUP>* list = new (storage) List<IDirectX::LOOKUP>;
    return *list;
}

// Exclusive mode and mode changes are made on the window's thread. Made from another thread,
// the driver moves and restyles the window from helper threads of its own, and Wine's display
// mode change deadlocks against such a helper still at work.
const UINT RUN_ON_WINDOW_THREAD = WM_APP + 0x2a0;

struct WindowTask {
    void (*run)(void* context);
    void* context;
    bool ran;
};

// The one task being handed over. The window procedure runs a task only when the message
// names this very one, so a stray message (another process can send WM_APP too) runs nothing.
std::atomic<WindowTask*> pendingTask{nullptr};

// Serialises hand-overs between threads; never destroyed, like the lookup list.
CriticalLock& taskLock() {
    alignas(CriticalLock) static unsigned char storage[sizeof(CriticalLock)];
    static CriticalLock* lock = new (storage) CriticalLock;
    return *lock;
}

bool runWindowTask(UINT message, LPARAM lParam) {
    if (message != RUN_ON_WINDOW_THREAD) return false;
    WindowTask* task = reinterpret_cast<WindowTask*>(lParam);
    WindowTask* expected = task;
    if (task && pendingTask.compare_exchange_strong(expected, nullptr)) {
        task->run(task->context);
        task->ran = true;
    }
    return true;
}

} // namespace

template <class Call> HRESULT IDirectX::onWindowThread(Call call) {
    HRESULT result = DDERR_GENERIC;
    auto body = [&] { result = call(); };
    HWND window = windowHandle;
    if (!window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        body();
        return result;
    }
    WindowTask task = {[](void* context) { (*static_cast<decltype(body)*>(context))(); }, &body,
                       false};
    {
        LockHold hold(taskLock());
        pendingTask.store(&task);
        SendMessageA(window, RUN_ON_WINDOW_THREAD, 0, reinterpret_cast<LPARAM>(&task));
        WindowTask* expected = &task;
        pendingTask.compare_exchange_strong(expected, nullptr);
    }
    if (!task.ran) body();
    return result;
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
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    if (usedKind == KIND_MEMORY) {
        description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        description.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
        description.dwWidth = DWORD(width);
        description.dwHeight = DWORD(height);
        if (!pixelFormatFromFormat(format, description.ddpfPixelFormat)) return;
    } else {
        // Only the back end's own display surface may be the screen.
        if (!owner->creatingPrimary) return;
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        primary = 1;
    }
    if (owner->link.createSurface(description, &surface) != DD_OK) {
        release();
        return;
    }

    DDSURFACEDESC actual = {};
    actual.dwSize = sizeof(actual);
    if (surface->GetSurfaceDesc(&actual) != DD_OK) {
        release();
        return;
    }
    // The rows written by the clear and by every copy must lie inside the surface: a primary
    // smaller than the display size asked for, or a pitch shorter than a row, is refused.
    const int64_t rowBytes = int64_t(width) * format.bytes;
    if (actual.dwWidth < DWORD(width) || actual.dwHeight < DWORD(height) ||
        int64_t(actual.lPitch) < rowBytes) {
        release();
        return;
    }
    const int64_t actualAdvance = int64_t(actual.lPitch) - rowBytes;
    if (advance != -1 && actualAdvance != advance) {
        release();
        return;
    }
    void* newer = nullptr;
    if (surface->QueryInterface(iidDirectDrawSurface2, &newer) == DD_OK)
        surface2 = static_cast<IDirectDrawSurface2*>(newer);

    // Cleared through an unrelated lock description: Lock reports the pitch that applies now.
    DDSURFACEDESC locked = {};
    locked.dwSize = sizeof(locked);
    HRESULT result = lockSurface(locked);
    if (result == DDERR_SURFACELOST && surface->Restore() == DD_OK) result = lockSurface(locked);
    if (result != DD_OK || !locked.lpSurface || int64_t(locked.lPitch) < rowBytes) {
        if (result == DD_OK) unlockSurface();
        release();
        return;
    }
    uint8_t* row = static_cast<uint8_t*>(locked.lpSurface);
    for (int32_t y = 0; y < height; ++y, row += locked.lPitch)
        std::memset(row, 0, size_t(rowBytes));
    unlockSurface();

    kind = usedKind;
    orientation = TOP_DOWN;
    advance = int32_t(actualAdvance);
    variant = VARIANT_DEFAULT;
}

IDirectX::SURFACE::~SURFACE() {
    if (owner && owner->primary == this) owner->primary = nullptr;
    if (locks > 0 && surface) unlockSurface();
    release();
}

void IDirectX::SURFACE::release() {
    if (surface2) surface2->Release();
    surface2 = nullptr;
    if (surface) surface->Release();
    surface = nullptr;
    pixels = nullptr;
    locks = 0;
}

HRESULT IDirectX::SURFACE::lockSurface(DDSURFACEDESC& description) {
    if (surface2) return surface2->Lock(nullptr, &description, DDLOCK_WAIT, nullptr);
    return surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr);
}

HRESULT IDirectX::SURFACE::unlockSurface() {
    if (surface2) return surface2->Unlock(nullptr);
    return surface->Unlock(nullptr);
}

HRESULT IDirectX::SURFACE::getPalette(IDirectDrawPalette** palette) {
    *palette = nullptr;
    if (surface2) return surface2->GetPalette(palette);
    if (surface) return surface->GetPalette(palette);
    return DDERR_SURFACELOST;
}

HRESULT IDirectX::SURFACE::setPalette(IDirectDrawPalette* palette) {
    if (surface2) return surface2->SetPalette(palette);
    if (surface) return surface->SetPalette(palette);
    return DDERR_SURFACELOST;
}

void* IDirectX::SURFACE::lock(int) {
    if (!surface) return nullptr;
    if (locks > 0) {
        if (pixels && valid()) {
            ++locks;
            return pixels;
        }
        // Lost while locked: the DirectDraw lock is given back too, so a later lock starts clean.
        unlockSurface();
        locks = 0;
        pixels = nullptr;
        return nullptr;
    }
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    HRESULT result = lockSurface(description);
    if (result == DDERR_SURFACELOST && primary && restore()) result = lockSurface(description);
    if (result != DD_OK) return nullptr;
    pixels = static_cast<uint8_t*>(description.lpSurface);
    locks = 1;
    return pixels;
}

void IDirectX::SURFACE::unlock() {
    if (locks == 1 && surface) {
        unlockSurface();
        pixels = nullptr;
    }
    if (locks > 0) --locks;
}

int IDirectX::SURFACE::restore() {
    if (!surface) return 0;
    if (surface2 && surface2->Restore() != DD_OK) return 0;
    if (surface->Restore() != DD_OK) return 0;
    if (primary && owner) {
        // The screen came back empty: show the last presented surface again, if any.
        LockHold hold(owner->paintLock);
        Surface* shown = owner->paintSurface();
        Surface* target = owner->displaySurface();
        if (shown && target) shown->copy(*target, 0);
    }
    return 1;
}

int IDirectX::SURFACE::valid() {
    if (!surface) return 0;
    const HRESULT lost = surface2 ? surface2->IsLost() : surface->IsLost();
    return lost == DD_OK ? 1 : 0;
}

// ---- IDirectX

IDirectX::IDirectX(WindowHandle window) : IWin32(window) {
    if (!load()) return;
    if (ownsWindow) {
        registerClasses();
        link.enumerateModes(modeList(), BACK_END_NAME);
    }
    initialised = 1;
    // From here on the whole process runs at high priority.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

IDirectX::~IDirectX() {
    close();
    unload();
}

void IDirectX::registerClasses() {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "IDI_PTC_ICON");
    WNDCLASSA windowed = {};
    windowed.style = CS_HREDRAW | CS_VREDRAW;
    windowed.lpfnWndProc = windowedProcedure;
    windowed.hIcon = icon;
    windowed.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowed.lpszClassName = WINDOWED_CLASS;
    // A second instance finds the classes registered already: that failure is harmless.
    RegisterClassA(&windowed);
    WNDCLASSA fullscreen = {};
    fullscreen.lpfnWndProc = fullscreenProcedure;
    fullscreen.hIcon = icon;
    fullscreen.lpszClassName = FULLSCREEN_CLASS;
    RegisterClassA(&fullscreen);
}

bool IDirectX::load() {
    unload();
    return link.load();
}

void IDirectX::unload() {
    close();
    dropDirectDrawSurfaces();
    link.unload();
}

void IDirectX::dropDirectDrawSurfaces() {
    // Software surfaces made as a fallback keep their pixels.
    surfaces.forEach([](const Registration& r) {
        if (r.surface && r.surface->nativeType() == 2) r.surface->close();
    });
}

IDirectX* IDirectX::lookup(HWND window) {
    enterLookupLock();
    const LOOKUP* record = lookups().find([&](const LOOKUP& l) { return l.window == window; });
    IDirectX* owner = record ? record->owner : nullptr;
    leaveLookupLock();
    return owner;
}

void IDirectX::removeLookups() {
    enterLookupLock();
    while (lookups().removeFirst([&](const LOOKUP& l) { return l.owner == this; })) {
    }
    leaveLookupLock();
}

void IDirectX::closeDisplay() {
    // First, so no message of a window on its way out reaches this object any more.
    removeLookups();
    if (link.loaded()) {
        // Both wait for the window thread: no lock may be held.
        onWindowThread([&] { return link.restoreDisplayMode(); });
        onWindowThread([&] { return link.setCooperativeLevel(nullptr, DDSCL_NORMAL); });
    }
    exclusiveWindow = nullptr;
    destroyDisplaySurface();
    displayWidth = displayHeight = 0;
    displayFormat = Format();
    outputOption = secondValue = 0;
}

void IDirectX::close() {
    closeDisplay();
    if (ownsWindow) closeWindow();
}

void IDirectX::destroyDisplaySurface() {
    Surface* old;
    {
        // The window thread reaches the display surface only under windowLock: once it is
        // unhooked here, nothing uses it. Released outside, since DirectDraw may wait for the
        // window thread.
        LockHold hold(windowLock);
        old = display;
        display = nullptr;
    }
    // Releasing the primary surface takes the window out of full screen, so it happens on the
    // window's thread like the mode changes.
    if (old)
        onWindowThread([&] {
            delete old;
            return DD_OK;
        });
}

bool IDirectX::createDisplaySurface() {
    destroyDisplaySurface();
    creatingPrimary = 1;
    Surface* made = nullptr;
    // Creating the primary surface puts the window in full screen: on the window's thread.
    onWindowThread([&] {
        made = new (std::nothrow)
            Surface(this, displayWidth, displayHeight, displayFormat, KIND_PRIMARY, -1, -1, -1);
        return DD_OK;
    });
    creatingPrimary = 0;
    if (!made || !made->ok()) {
        delete made;
        return false;
    }
    LockHold hold(windowLock);
    display = made;
    return true;
}

bool IDirectX::checkOutputOptions(int32_t& output, int32_t& second, int32_t third) {
    if (!ownsWindow) return false;
    if (output == -1) output = FULLSCREEN_OUTPUT;
    if (output != FULLSCREEN_OUTPUT) return false;
    if (second == -1) second = 0;
    return third == -1 || third == THIRD_OPTION;
}

bool IDirectX::openWindow(int32_t width, int32_t height) {
    // An earlier display goes first, so its primary surface and lookup record do not outlive
    // its window.
    closeDisplay();
    closeWindow();
    // Hidden, and not brought to the foreground: exclusive mode takes the screen.
    return createWindow(FULLSCREEN_CLASS, WS_POPUP, SW_HIDE, width, height) != 0;
}

bool IDirectX::exclusiveMode() {
    HWND window = windowHandle;
    if (!window) return false;
    // Asked again for every depth tried: once granted for this window it holds.
    if (exclusiveWindow == window) return true;
    const auto exclusive = [&] { return link.setCooperativeLevel(window, EXCLUSIVE_FULLSCREEN); };
    HRESULT result = onWindowThread(exclusive);
    if (result == DDERR_HWNDALREADYSET) {
        // The DirectDraw object is bound to another window while its surfaces live: a new
        // object takes this one. The window itself stays.
        closeDisplay();
        dropDirectDrawSurfaces();
        if (!link.load()) return false;
        result = onWindowThread(exclusive);
    }
    if (result != DD_OK) return false;
    exclusiveWindow = window;
    return true;
}

bool IDirectX::setModeForCode(int32_t width, int32_t height, int32_t code) {
    int32_t depths[MAX_DEPTHS];
    const int n = depthsForCode(code, depths);
    for (int i = 0; i < n; ++i)
        if (exclusiveMode() &&
            onWindowThread([&] { return link.setDisplayMode(width, height, depths[i]); }) == DD_OK)
            return true;
    return false;
}

bool IDirectX::setModeForFormat(int32_t width, int32_t height, const Format& format) {
    if (!format.ok() || !exclusiveMode()) return false;
    if (onWindowThread([&] { return link.setDisplayMode(width, height, format.bits); }) != DD_OK)
        return false;
    const Format actual = link.displayFormat();
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
    secondValue = second;
    if (!createDisplaySurface() || !windowHandle) return false;
    LOOKUP* record = new (std::nothrow) LOOKUP{windowHandle, this};
    if (!record) return false;
    enterLookupLock();
    const bool added = lookups().append(record);
    leaveLookupLock();
    if (!added) delete record;
    return added;
}

int IDirectX::openByCode(int32_t width, int32_t height, int32_t code, int32_t output,
                         int32_t second, int32_t third) {
    if (!ok() || width <= 0 || height <= 0) return 0;
    if (!modeCodeAvailable(modeList(), width, height, code)) return 0;
    // Refused options leave the screen and any open display untouched.
    if (!checkOutputOptions(output, second, third)) return 0;
    if (!openWindow(width, height) || !setModeForCode(width, height, code)) {
        close();
        return 0;
    }
    const Format format = link.displayFormat();
    if (!format.ok() || !finishOpen(width, height, format, output, second)) {
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

int IDirectX::openMode(const MODE& mode) {
    // The record's name may fill all eight characters.
    char recorded[sizeof(mode.interfaceName) + 1] = {};
    std::memcpy(recorded, mode.interfaceName, sizeof(mode.interfaceName));
    if (!equalsIgnoringCase(recorded, BACK_END_NAME)) return 0;
    return openFormat(mode.width, mode.height, mode.format, mode.output, mode.secondOption,
                      mode.thirdOption);
}

MODE IDirectX::getMode() {
    MODE mode;
    name(mode.interfaceName);
    mode.width = displayWidth;
    mode.height = displayHeight;
    mode.format = displayFormat;
    mode.output = outputOption;
    mode.secondOption = secondValue;
    mode.thirdOption = THIRD_OPTION;
    return mode;
}

void IDirectX::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}

int IDirectX::waitRetrace() {
    return link.loaded() && link.waitForVerticalBlank() == DD_OK ? 1 : 0;
}

int IDirectX::setPalette(Palette& palette) {
    LockHold hold(paletteLock);
    if (displayFormat.type != INDEXED) return 0;
    // ABGR8888 is the byte order of a DirectDraw palette entry: red, green, blue, flags.
    const void* table = palette.lookup(Format(ABGR8888), 4);
    if (!table) return 0;
    PALETTEENTRY entries[Palette::COLOURS];
    std::memcpy(entries, table, sizeof(entries));
    if (!display || !primary) return 0;
    ComHold<IDirectDrawPalette> hardware;
    const HRESULT attached = primary->getPalette(hardware.out());
    if (attached == DDERR_NOPALETTEATTACHED) {
        if (link.createPalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, hardware.out()) != DD_OK ||
            !hardware)
            return 0;
        // The surface keeps its own reference; ours goes at the end of the scope.
        if (primary->setPalette(hardware.get()) != DD_OK) return 0;
    } else if (attached != DD_OK || !hardware) {
        return 0;
    }
    return hardware->SetEntries(0, 0, Palette::COLOURS, entries) == DD_OK ? 1 : 0;
}

int IDirectX::getPalette(Palette& palette) {
    LockHold hold(paletteLock);
    if (displayFormat.type != INDEXED || !display || !primary) return 0;
    ComHold<IDirectDrawPalette> hardware;
    if (primary->getPalette(hardware.out()) != DD_OK || !hardware) return 0;
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

::SURFACE* IDirectX::createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                   int32_t& orientation, int32_t& advance, int32_t& variant) {
    int32_t k = kind, o = orientation, a = advance, v = variant;
    SURFACE* made = new (std::nothrow) SURFACE(this, width, height, format, k, o, a, v);
    if (made && made->valid()) {
        kind = k;
        orientation = o;
        advance = a;
        variant = v;
        if (made->primary) primary = made;
        return made;
    }
    delete made;
    // DirectDraw could not make it: plain memory still works with every copy.
    return ISoftware::createSurface(width, height, format, kind, orientation, advance, variant);
}

// ---- window procedures

LRESULT IDirectX::messageStep(IDirectX* owner, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    if (owner && (message == WM_QUERYNEWPALETTE || message == WM_PALETTECHANGED)) {
        // DirectDraw keeps the hardware palette; waiting out a palette change is all.
        owner->enterPaletteLock();
        owner->leavePaletteLock();
        return 0;
    }
    return IWin32::handleMessage(owner, window, message, wParam, lParam);
}

LRESULT CALLBACK IDirectX::windowedProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (runWindowTask(message, lParam)) return 0;
    IDirectX* owner = lookup(window);
    if (owner) owner->enterWindowLock();
    const LRESULT result = messageStep(owner, window, message, wParam, lParam);
    if (owner) owner->leaveWindowLock();
    return result;
}

LRESULT CALLBACK IDirectX::fullscreenProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (runWindowTask(message, lParam)) return 0;
    IDirectX* owner = lookup(window);
    if (owner) owner->enterWindowLock();
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE:
        SetCursor(nullptr);
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE && owner) SetCursor(nullptr);
        result = messageStep(owner, window, message, wParam, lParam);
        break;
    case WM_PAINT:
        // DirectDraw owns the screen: nothing to paint. Validated all the same, or the update
        // region keeps WM_PAINT coming and the window thread spins at high priority.
        if (owner) SetCursor(nullptr);
        ValidateRect(window, nullptr);
        break;
    case WM_SETCURSOR:
        SetCursor(nullptr);
        break;
    default:
        result = messageStep(owner, window, message, wParam, lParam);
        break;
    }
    if (owner) owner->leaveWindowLock();
    return result;
}
