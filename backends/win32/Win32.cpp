#include "backends/win32/Win32.h"

#include "display/Surface.h"

#include <cstdio>
#include <cstring>
#include <new>

SRWLOCK windowLookupLock = SRWLOCK_INIT;

namespace {

// A close request ends the process from the window thread: the frame loop may be in the middle
// of a frame on the application's thread, so nothing may run under its feet (see
// platform::endProcess).
//
// restore puts the desktop's own display mode back first: a changed mode would outlive the
// process (Wine's virtual desktop keeps it, and the next program started into it cannot show its
// window). Through the system, not through DirectDraw, which another thread may be using.
[[noreturn]] void endProcessOnClose(int status, bool restore = false) {
    if (restore) ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    platform::endProcess(status);
}

// The timer that wakes the window thread when a close request's grace period is over.
constexpr UINT_PTR CLOSE_REQUEST_TIMER = 0x4b43;
// How often readKey looks for a close request and for the window thread's end while it waits.
constexpr uint32_t KEY_WAIT_STEP_MS = 100;

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
    okFlag = input && input->valid() ? 1 : 0;
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

bool IWin32::awaitKey() {
    input->waitForKey(KEY_WAIT_STEP_MS);
    const HANDLE thread = windowThread.handle();
    return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

int IWin32::showTitle(const char* text) {
    const HWND window = windowHandle;
    if (!window) return 0;
    // The window thread gets a copy of its own: it may still be setting it when a caller that
    // stopped waiting changes the title again.
    std::unique_ptr<char[]> shown = copyOf(text);
    if (!shown) return 0;
    const auto set = onWindowThread([window, shown = std::move(shown)] {
        return SetWindowTextA(window, shown.get()) != FALSE;
    });
    return set && *set ? 1 : 0;
}

int IWin32::removeSurface(Surface* surface) {
    {
        // Waits for a repaint in progress, so the surface is not drawn once this returns.
        LockHold hold(paintLock);
        if (surface && paintTarget == surface) paintTarget = nullptr;
    }
    return IWindowed::removeSurface(surface);
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
    const WindowRequest request = {className, titleText(), style, show, width, height};
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
    // A close request goes with its window.
    if (input) input->cancelClose();
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

bool IWin32::replaceSurface(Surface*& field, Surface* made) {
    Surface* old = made;
    bool replaced = false;
    {
        TimedHold hold(windowLock, handOverLimit);
        if (hold) {
            TimedHold paint(paintLock, handOverLimit);
            if (paint) {
                old = field;
                field = made;
                replaced = true;
            }
        }
    }
    // Outside the locks: destroying a DIB section or the screen's surface is a call into the
    // system, which may wait for the window thread.
    delete old;
    return replaced;
}

bool IWin32::repaint() {
    LockHold paint(paintLock);
    // The display surface is written under paintLock as well.
    return paintTarget && display && paintTarget->update(*this);
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
        if (owner && owner->input) {
            // A thread waiting in readKey wakes to see it.
            owner->input->askToClose(0);
            if (SetTimer(window, CLOSE_REQUEST_TIMER, WindowInput::CLOSE_GRACE_MS, nullptr))
                return 0;
            owner->endingOnClose();
        }
        endProcessOnClose(0, !owner && restoreWithoutOwner);
    case WM_TIMER: {
        if (wParam != CLOSE_REQUEST_TIMER) break;
        if (!owner || !owner->input) endProcessOnClose(0, restoreWithoutOwner);
        int status = 0;
        if (owner->input->closeDue(status)) {
            owner->endingOnClose();
            endProcessOnClose(status);
        }
        // Early, or already claimed or dropped: a claimed request is the application's to end.
        const uint32_t left = owner->input->closeGraceLeft();
        if (left > 0)
            SetTimer(window, CLOSE_REQUEST_TIMER, left, nullptr);
        else
            KillTimer(window, CLOSE_REQUEST_TIMER);
        return 0;
    }
    case WM_KEYDOWN:
        if (!owner || !owner->input) break;
        {
            LockHold keys(owner->keyLock);
            owner->input->pushKey(KEY_PRESSED); // a full queue drops the key
        }
        return 0;
    default:
        break;
    }
    use.release();
    return DefWindowProcA(window, message, wParam, lParam);
}
