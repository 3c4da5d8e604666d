#include "backends/win32/Win32.h"

#include "display/Surface.h"

#include <process.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The lookup lock and its instance count are plain data with no destructor, so the exit that
// WM_CLOSE starts on a window thread has nothing of theirs to tear down under another thread.
SRWLOCK lookupGuard = SRWLOCK_INIT; // serialises the counting itself
CRITICAL_SECTION lookupSection;
int32_t lookupCount = 0;

void acquireLookupLock() {
    AcquireSRWLockExclusive(&lookupGuard);
    if (lookupCount == 0) InitializeCriticalSection(&lookupSection);
    ++lookupCount;
    ReleaseSRWLockExclusive(&lookupGuard);
}

void releaseLookupLock() {
    AcquireSRWLockExclusive(&lookupGuard);
    if (lookupCount == 1) DeleteCriticalSection(&lookupSection);
    if (lookupCount > 0) --lookupCount;
    ReleaseSRWLockExclusive(&lookupGuard);
}

// exit runs the exit handlers and static destructors on the window thread while the
// application's thread may still be drawing; a fault that this causes on any thread must still
// end the process with the status the close asked for, not with a crash.
LONG WINAPI endQuietly(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 0);
    return EXCEPTION_EXECUTE_HANDLER;
}

volatile LONG closing = 0;

void endProcessOnClose() {
    // A second window closed while the first close is still running its exit handlers: the
    // process is already ending with status 0, and exit must not run twice.
    if (InterlockedExchange(&closing, 1) != 0) return;
    SetUnhandledExceptionFilter(endQuietly);
    std::exit(0);
}

} // namespace

// Built on the creator's stack; the window thread reads it only before signalling `created`.
struct IWin32::ThreadStart {
    IWin32* owner;
    const char* className;
    const char* windowName;
    DWORD style;
    int show;
    int width;
    int height;
    HANDLE created;
};

IWin32::IWin32(WindowHandle attached) : windowHandle(attached) {
    acquireLookupLock();
    okFlag = keyQueue.valid() ? 1 : 0;
    if (!attached) {
        ownsWindow = 1;
        return;
    }
    // Never create, close or read keys from a caller's window, even when it gives no DC.
    ownsWindow = 0;
    dc = GetDC(attached);
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
    if (!ownsWindow && windowHandle && dc) ReleaseDC(windowHandle, dc);
    dc = nullptr;
    delete[] title;
    releaseLookupLock();
}

void IWin32::enterLookupLock() {
    EnterCriticalSection(&lookupSection);
}

void IWin32::leaveLookupLock() {
    LeaveCriticalSection(&lookupSection);
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

int IWin32::readKey() {
    if (!windowHandle || !ownsWindow || !keyEvent) return ISoftware::readKey();
    for (;;) {
        // No lock while waiting: the window thread needs keyLock to queue the key.
        WaitForSingleObject(keyEvent, INFINITE);
        LockHold hold(keyLock);
        int32_t value = 0;
        const bool taken = keyQueue.pop(value);
        if (keyQueue.empty()) ResetEvent(keyEvent);
        if (taken) return value;
    }
}

int IWin32::keyPressed() {
    if (!windowHandle || !ownsWindow) return ISoftware::keyPressed();
    LockHold hold(keyLock);
    return keyQueue.empty() ? 0 : 1;
}

int IWin32::setTitle(const char* text) {
    if (!text) return 0;
    const size_t length = std::strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return 0;
    std::memcpy(copy, text, length + 1);
    delete[] title;
    title = copy;
    // SetWindowTextA waits for the window thread (WM_SETTEXT): no lock may be held here.
    if (!windowHandle) return 0;
    return SetWindowTextA(windowHandle, title) ? 1 : 0;
}

int IWin32::getTitle(char* buffer) {
    if (!buffer) return 0;
    const char* text = title ? title : "";
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
    if (!ownsWindow || !okFlag) return 0;
    closeWindow();
    if (!className) return 0;

    HANDLE created = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!created) return 0;
    // The key event exists before the window, so no key of the new window is ever queued
    // without it; keys still queued from an earlier window keep it signalled.
    HANDLE keys = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!keys) {
        CloseHandle(created);
        return 0;
    }
    {
        LockHold hold(keyLock);
        keyEvent = keys;
        if (!keyQueue.empty()) SetEvent(keyEvent);
    }

    ThreadStart start = {this, className, title ? title : "", style, show, width, height, created};
    WindowThread* cell = new (std::nothrow) WindowThread{nullptr, 0};
    unsigned id = 0;
    const uintptr_t thread =
        cell ? _beginthreadex(nullptr, 0x40000, threadMain, &start, 0, &id) : 0;
    if (!thread) {
        delete cell;
        CloseHandle(created);
        closeWindow();
        return 0;
    }
    cell->handle = reinterpret_cast<HANDLE>(thread);
    cell->id = id;
    windowThread = cell;

    // Also wakes when the thread dies before signalling, so the creator never waits forever.
    HANDLE waits[2] = {created, cell->handle};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    CloseHandle(created);

    if (!windowHandle || !IsWindow(windowHandle)) {
        closeWindow();
        return 0;
    }
    dc = GetDC(windowHandle);
    if (!dc) {
        closeWindow();
        return 0;
    }
    return 1;
}

unsigned __stdcall IWin32::threadMain(void* parameter) {
    const ThreadStart* start = static_cast<const ThreadStart*>(parameter);
    const int show = start->show;
    HWND window = CreateWindowExA(0, start->className, start->windowName, start->style,
                                  CW_USEDEFAULT, CW_USEDEFAULT, start->width, start->height,
                                  nullptr, nullptr, nullptr, nullptr);
    start->owner->windowHandle = window;
    if (window && IsWindow(window)) ShowWindow(window, show);
    // The block lives on the creator's stack and is gone once the creator stops waiting.
    SetEvent(start->created);
    if (!window) return 0;

    SetFocus(window);
    if (show != 0) SetForegroundWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) == 1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The window goes with its thread.
    return 0;
}

void IWin32::closeWindow() {
    if (!ownsWindow) return;
    if (windowThread) {
        {
            LockHold hold(windowLock);
            if (dc) {
                ReleaseDC(windowHandle, dc);
                dc = nullptr;
            }
            {
                LockHold paint(paintLock);
                paintTarget = nullptr;
            }
        }
        endWindowThread();
    }
    if (dc) {
        ReleaseDC(windowHandle, dc);
        dc = nullptr;
    }
    windowHandle = nullptr;
    LockHold hold(keyLock);
    if (keyEvent) {
        CloseHandle(keyEvent);
        keyEvent = nullptr;
    }
}

void IWin32::endWindowThread() {
    WindowThread* thread = windowThread;
    windowThread = nullptr;
    // Run by exit on the window thread itself (WM_CLOSE): it cannot wait for itself, and the
    // process ends with it.
    if (thread->id != GetCurrentThreadId()) {
        for (;;) {
            // WM_DESTROY ends the message loop. Posting fails when the thread's queue is full,
            // and a window that is already gone takes no message: then ask the thread itself
            // to quit and try again until it has ended.
            bool posted = windowHandle && IsWindow(windowHandle) &&
                          PostMessageA(windowHandle, WM_DESTROY, 0, 0);
            if (!posted) posted = PostThreadMessageA(thread->id, WM_QUIT, 0, 0);
            if (WaitForSingleObject(thread->handle, posted ? INFINITE : 10) == WAIT_OBJECT_0) break;
        }
    }
    CloseHandle(thread->handle);
    delete thread;
}

int IWin32::resizeWindow(int width, int height) {
    if (!windowHandle) return 0;
    {
        LockHold hold(windowLock);
        LockHold paint(paintLock);
        paintTarget = nullptr;
    }
    // SetWindowPos waits for the window thread, whose message handling takes windowLock.
    return SetWindowPos(windowHandle, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER) ? 1
                                                                                               : 0;
}

void IWin32::fillBlack(HWND window) {
    RECT client;
    if (!GetClientRect(window, &client)) return;
    HDC windowDc = GetDC(window);
    if (!windowDc) return;
    HGDIOBJ previous = SelectObject(windowDc, GetStockObject(BLACK_BRUSH));
    Rectangle(windowDc, client.left, client.top, client.right, client.bottom);
    if (previous) SelectObject(windowDc, previous);
    ReleaseDC(window, windowDc);
}

LRESULT IWin32::handleMessage(IWin32* owner, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    if (owner) return owner->handleMessage(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        ShowWindow(window, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        fillBlack(window);
        ValidateRect(window, nullptr);
        return 0;
    case WM_CLOSE:
        endProcessOnClose();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT IWin32::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LockHold hold(windowLock);
    switch (message) {
    case WM_DESTROY:
        ShowWindow(window, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        {
            LockHold paint(paintLock);
            Surface* target = displaySurface();
            const bool repainted = paintTarget && target && paintTarget->copy(*target, 0);
            if (!repainted) fillBlack(window);
        }
        ValidateRect(window, nullptr);
        return 0;
    }
    case WM_CLOSE:
        endProcessOnClose();
        return 0;
    case WM_KEYDOWN: {
        LockHold keys(keyLock);
        // A full queue drops the key; the event is already set then.
        keyQueue.push(1);
        if (keyEvent) SetEvent(keyEvent);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
