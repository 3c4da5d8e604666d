#include "backends/win32/Win32.h"

#include "display/Surface.h"

#include <cstdio>
#include <cstring>
#include <new>

SRWLOCK windowLookupLock = SRWLOCK_INIT;

namespace {

// A close request ends the process at once with status 0. The frame loop may be in the middle
// of a frame on the application's thread: exit would run the exit handlers and static
// destructors under its feet, and ExitProcess would stop it mid-call and then run the system
// libraries' detach routines (DirectDraw's, OpenGL's) over whatever it held. Terminating does
// neither; what was written is flushed first, and there is nothing else to save.
//
// restore puts the desktop's own display mode back first: a changed mode would outlive the
// process (Wine's virtual desktop keeps it, and the next program started into it cannot show its
// window). Through the system, not through DirectDraw, which another thread may be using.
[[noreturn]] void endProcessOnClose(bool restore = false) {
    if (restore) ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 0);
    ExitProcess(0); // not reached: TerminateProcess does not return for the calling process
}

// How long a close request waits for the application's thread before the window thread ends the
// process itself, and the timer that counts it.
constexpr UINT CLOSE_REQUEST_GRACE_MS = 1000;
constexpr UINT_PTR CLOSE_REQUEST_TIMER = 0x4b43;

std::unique_ptr<char[]> copyOf(const char* text) {
    const size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
    if (copy) std::memcpy(copy.get(), text, size);
    return copy;
}

} // namespace

bool CriticalLock::enterWithin(DWORD limitMs) {
    if (TryEnterCriticalSection(&section)) return true;
    const ULONGLONG start = GetTickCount64();
    for (DWORD pause = 1;; pause = pause < 16 ? pause * 2 : 16) {
        Sleep(pause);
        if (TryEnterCriticalSection(&section)) return true;
        if (GetTickCount64() - start >= limitMs) return false;
    }
}

IWin32::IWin32(WindowHandle attached) : windowHandle(attached) {
    okFlag = keyQueue.valid() ? 1 : 0;
    if (!attached) {
        ownsWindow = 1;
        return;
    }
    // Never create, close or read keys from a caller's window, even when it gives no DC.
    ownsWindow = 0;
    dc = WindowDc::of(attached);
    if (!dc) {
        okFlag = 0;
        return;
    }
    RECT client;
    if (GetClientRect(attached, &client)) {
        displayWidth = client.right - client.left;
        displayHeight = client.bottom - client.top;
    }
}

IWin32::~IWin32() {
    // The derived back end closes first; this only makes sure no thread outlives the object.
    closeWindow();
}

void IWin32::registerWindowClass(const char* name, UINT style, WNDPROC procedure,
                                 bool arrowCursor) {
    WNDCLASSA windowClass = {};
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hIcon = LoadIconA(GetModuleHandleA(nullptr), "IDI_PTC_ICON");
    windowClass.hCursor = arrowCursor ? LoadCursorA(nullptr, IDC_ARROW) : nullptr;
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

int IWin32::getModes(List<MODE>& out) {
    // Built aside, so an allocation failure leaves the caller's list as it was.
    List<MODE> copy;
    for (auto* node = modes.first(); !List<MODE>::atEnd(node); node = node->next) {
        MODE* record = new (std::nothrow) MODE(*node->element);
        if (!record) return 0;
        if (!copy.append(record)) {
            delete record;
            return 0;
        }
    }
    out.clear();
    copy.moveAllTo(out);
    return 1;
}

bool IWin32::addMode(const MODE& mode) {
    MODE* record = new (std::nothrow) MODE(mode);
    if (!record) return false;
    if (!modes.append(record)) {
        delete record;
        return false;
    }
    return true;
}

void IWin32::endIfCloseRequested() {
    if (!closeRequested || WindowThread::current()) return;
    closeOnRequest();
    endProcessOnClose();
}

int IWin32::readKey() {
    if (!windowHandle || !ownsWindow || !keyEvent) return ISoftware::readKey();
    for (;;) {
        endIfCloseRequested();
        // No lock while waiting: the window thread needs keyLock to queue the key. A window
        // thread that ends takes the window with it: no key will come any more.
        if (waitForThread(keyEvent.get(), windowThread.handle(), INFINITE) != WaitEnd::SIGNALLED)
            return 0;
        LockHold hold(keyLock);
        int32_t value = 0;
        const bool taken = keyQueue.pop(value);
        if (keyQueue.empty()) ResetEvent(keyEvent.get());
        if (taken) return value;
    }
}

int IWin32::keyPressed() {
    if (!windowHandle || !ownsWindow) return ISoftware::keyPressed();
    endIfCloseRequested();
    LockHold hold(keyLock);
    return keyQueue.empty() ? 0 : 1;
}

int IWin32::setTitle(const char* text) {
    if (!text) return 0;
    std::unique_ptr<char[]> copy = copyOf(text);
    // The window thread gets a copy of its own: it may still be setting it when a caller that
    // stopped waiting changes the title again.
    std::unique_ptr<char[]> shown = copyOf(text);
    if (!copy || !shown) return 0;
    title = std::move(copy);
    const HWND window = windowHandle;
    if (!window) return 0;
    const auto set = onWindowThread([window, shown = std::move(shown)] {
        return SetWindowTextA(window, shown.get()) != FALSE;
    });
    return set && *set ? 1 : 0;
}

int IWin32::getTitle(char* buffer) {
    if (!buffer) return 0;
    const char* text = title ? title.get() : "";
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return 1;
}

int IWin32::removeSurface(Surface* surface) {
    {
        // Waits for a repaint in progress, so the surface is not drawn once this returns.
        LockHold hold(paintLock);
        if (surface && paintTarget == surface) paintTarget = nullptr;
    }
    return ISoftware::removeSurface(surface);
}

void IWin32::setPaintSurface(Surface* surface, const Rect& source, const Rect& destination) {
    LockHold hold(paintLock);
    paintTarget = surface;
    paintSource = source;
    paintDestination = destination;
}

void IWin32::clearPaintSurface() {
    LockHold hold(paintLock);
    paintTarget = nullptr;
}

int IWin32::createWindow(const char* className, DWORD style, int show, int width, int height) {
    if (!ownsWindow || !okFlag || !className) return 0;
    closeWindow();
    // The key event exists before the window, so no key of the new window is ever queued
    // without it; keys still queued from an earlier window keep it signalled.
    KernelHandle keys(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!keys) return 0;
    {
        LockHold hold(keyLock);
        keyEvent = std::move(keys);
        if (!keyQueue.empty()) SetEvent(keyEvent.get());
    }
    const WindowRequest request = {className, title ? title.get() : "", style, show, width, height};
    if (!windowThread.start(request, handOverLimit)) {
        closeWindow();
        return 0;
    }
    windowHandle = windowThread.window();
    dc = WindowDc::of(windowHandle);
    if (!dc) {
        closeWindow();
        return 0;
    }
    return 1;
}

bool IWin32::closeWindow() {
    if (!ownsWindow) return true;
    WindowDc released;
    bool locked = false;
    {
        TimedHold hold(windowLock, handOverLimit);
        // A repaint on the window thread draws through the device context, under paintLock.
        if (hold) {
            TimedHold paint(paintLock, handOverLimit);
            if (paint) {
                released = std::move(dc);
                paintTarget = nullptr;
                locked = true;
            }
        }
    }
    // Given back outside the locks: a call into the system.
    released.reset();
    // The state was not given up in time: the window thread may still be drawing with the
    // context, so it is left to it, and the thread is let go of without waiting again.
    if (!locked) dc.abandon();
    const bool ended = locked && windowThread.stop(handOverLimit);
    if (!locked) windowThread.stop(0);
    if (!ended) windowThreadLeft = true;
    windowHandle = nullptr;
    LockHold hold(keyLock);
    keyEvent.reset();
    return ended;
}

int IWin32::resizeWindow(int width, int height) {
    const HWND window = windowHandle;
    if (!window) return 0;
    {
        TimedHold hold(windowLock, handOverLimit);
        if (!hold) return 0;
        TimedHold paint(paintLock, handOverLimit);
        if (!paint) return 0;
        paintTarget = nullptr;
    }
    // On the window's thread: from here SetWindowPos would wait for it without a limit.
    const auto resized = onWindowThread([window, width, height] {
        return SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER) !=
               FALSE;
    });
    return resized && *resized ? 1 : 0;
}

void IWin32::fillBlack(HWND window) {
    RECT client;
    if (!GetClientRect(window, &client)) return;
    WindowDc windowDc = WindowDc::of(window);
    if (!windowDc) return;
    Selection brush(windowDc.get(), GetStockObject(BLACK_BRUSH));
    Rectangle(windowDc.get(), client.left, client.top, client.right, client.bottom);
}

bool IWin32::repaint() {
    LockHold paint(paintLock);
    Surface* target = display; // written under paintLock as well
    return paintTarget && target && paintTarget->copy(*target, 0);
}

bool IWin32::awaitProcedures() {
    const ULONGLONG start = GetTickCount64();
    while (procedureUses.load() != 0) {
        if (GetTickCount64() - start >= handOverLimit) return false;
        Sleep(1);
    }
    return true;
}

void IWin32::awaitProceduresOrEnd() {
    if (awaitProcedures()) return;
    std::fputs("a window thread stopped inside a message of a display being destroyed\n", stderr);
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
}

LRESULT IWin32::handleMessage(ProcedureUse& use, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam, bool restoreWithoutOwner) {
    IWin32* owner = use.get();
    switch (message) {
    case WM_DESTROY:
        use.release();
        ShowWindow(window, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        const bool repainted = owner && owner->repaint();
        use.release();
        if (!repainted) fillBlack(window);
        ValidateRect(window, nullptr);
        return 0;
    }
    case WM_CLOSE:
        if (owner) {
            owner->closeRequested = true;
            {
                // A thread waiting in readKey wakes to see it.
                LockHold keys(owner->keyLock);
                if (owner->keyEvent) SetEvent(owner->keyEvent.get());
            }
            if (SetTimer(window, CLOSE_REQUEST_TIMER, CLOSE_REQUEST_GRACE_MS, nullptr)) return 0;
            owner->endingOnClose();
        }
        endProcessOnClose(!owner && restoreWithoutOwner);
    case WM_TIMER:
        if (wParam != CLOSE_REQUEST_TIMER) break;
        if (owner) owner->endingOnClose();
        endProcessOnClose(!owner && restoreWithoutOwner);
    case WM_KEYDOWN:
        if (!owner) break;
        {
            LockHold keys(owner->keyLock);
            // A full queue drops the key; the event is already set then.
            owner->keyQueue.push(KEY_PRESSED);
            if (owner->keyEvent) SetEvent(owner->keyEvent.get());
        }
        return 0;
    default:
        break;
    }
    use.release();
    return DefWindowProcA(window, message, wParam, lParam);
}
