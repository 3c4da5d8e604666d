#pragma once
#include "backends/KeyQueue.h"
#include "backends/Software.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"

#include <windows.h>

#include <cstdint>

// A re-entrant lock: one critical section, entered and left by hand or through LockHold.
class CriticalLock {
  public:
    CriticalLock() { InitializeCriticalSection(&section); }
    ~CriticalLock() { DeleteCriticalSection(&section); }
    CriticalLock(const CriticalLock&) = delete;
    CriticalLock& operator=(const CriticalLock&) = delete;
    void enter() { EnterCriticalSection(&section); }
    void leave() { LeaveCriticalSection(&section); }

  private:
    CRITICAL_SECTION section;
};

// Holds a lock until the end of the scope.
class LockHold {
  public:
    explicit LockHold(CriticalLock& held) : lock(held) { lock.enter(); }
    ~LockHold() { lock.leave(); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

  private:
    CriticalLock& lock;
};

// What the two window back ends share: a top-level window living on a thread of its own, its
// message handling, the key queue, the title, the surface repainted on WM_PAINT, the mode
// list and the locks between the window thread and the application's thread.
//
// Constructed with no window it creates and owns its windows (createWindow / closeWindow);
// constructed with a caller's window it only draws into it, never creates, closes or reads
// keys from it.
//
// Lock order: windowLock before paintLock, keyLock or paletteLock. lookupLock is never held
// together with another lock. No lock of this object may be held while making a call that waits
// for the window thread: SetWindowPos, SetWindowTextA, ShowWindow, SendMessage to the window,
// DirectDraw's SetCooperativeLevel / SetDisplayMode / RestoreDisplayMode, closeWindow itself
// (the window procedure takes windowLock, so either would deadlock).
class IWin32 : public ISoftware {
  public:
    // attached: a caller's window to draw into, or null to own windows. ok() is 0 when the
    // key queue cannot be allocated or an attached window gives no device context.
    explicit IWin32(WindowHandle attached = nullptr);
    // Does not close an owned window: the derived destructor must call closeWindow first.
    ~IWin32() override;

    int getModes(List<MODE>& modes) override;
    // Owned window: blocks until a key is queued, returns 1. Otherwise the console (ISoftware).
    int readKey() override;
    // Owned window: whether a key is queued; never blocks or takes a key.
    int keyPressed() override;
    int setTitle(const char* text) override;
    // buffer must hold the stored title and its NUL; "" before any setTitle.
    int getTitle(char* buffer) override;
    int nativeType() override { return NATIVE_GDI; }
    // The address of dc.
    void* nativeData() override { return &dc; }
    int width() override { return displayWidth; }
    int height() override { return displayHeight; }
    WindowHandle window() override { return windowHandle; }
    int ok() override { return okFlag; }
    // Also stops repainting the surface when it is the paint surface.
    int removeSurface(Surface* surface) override;

    // The message handling the back ends' window procedures end in. owner is the object found
    // for the window in the back end's lookup list, or null when the window is not registered
    // (yet, or any longer). With an owner this calls owner->handleMessage (virtual).
    static LRESULT handleMessage(IWin32* owner, HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam);

    // The process-wide lock of the back ends' window-to-object lookup lists. Valid while at
    // least one IWin32 exists. Hold it only for the list access itself, with no other lock.
    static void enterLookupLock();
    static void leaveLookupLock();

    void enterWindowLock() { windowLock.enter(); }
    void leaveWindowLock() { windowLock.leave(); }
    void enterPaintLock() { paintLock.enter(); }
    void leavePaintLock() { paintLock.leave(); }
    void enterKeyLock() { keyLock.enter(); }
    void leaveKeyLock() { keyLock.leave(); }
    void enterPaletteLock() { paletteLock.enter(); }
    void leavePaletteLock() { paletteLock.leave(); }

    // The surface repainted on WM_PAINT, or null.
    Surface* paintSurface() const { return paintTarget; }

  protected:
    // Closes any window, then opens a new one (CreateWindowExA with CW_USEDEFAULT position) on a
    // new thread and takes its device context. width and height are the outer window size.
    // show is the ShowWindow command; with a non-zero one the window is also brought to the
    // foreground. 1 on success; 0 (and no window) on any failure or when not owning windows.
    // Call with no lock held.
    int createWindow(const char* className, DWORD style, int show, int width, int height);
    // Releases dc, ends the window thread and returns after it has ended. Nothing when not
    // owning windows. Call with no lock held. On the window thread itself (a static destructor
    // run by WM_CLOSE's exit) it does not wait for itself.
    void closeWindow();
    // Stops repainting, then sets the outer window size without moving it. 1 when the window
    // took the size. Call with no lock held.
    int resizeWindow(int width, int height);
    // The surface WM_PAINT copies onto displaySurface(); the areas are kept, not used.
    void setPaintSurface(Surface* surface, const Rect& source, const Rect& destination);
    void clearPaintSurface();

    // Appends a copy; false when it cannot be allocated.
    bool addMode(const MODE& mode);
    void clearModes() { modes.clear(); }
    List<MODE>& modeList() { return modes; }

    // The handling of one message for this owner, under windowLock: WM_DESTROY hides the window
    // and ends the message loop, WM_PAINT repaints the paint surface or fills the client area
    // black, WM_CLOSE ends the process with status 0, WM_KEYDOWN queues the key 1, anything
    // else goes to DefWindowProcA. A back end that overrides it calls IWin32::handleMessage
    // (window, ...) for what it does not handle itself.
    virtual LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Fills the client area black through a device context of the calling thread.
    static void fillBlack(HWND window);

    int32_t displayWidth = 0;    // reported by width(); set by the back ends when they open
    int32_t displayHeight = 0;   // likewise
    HWND windowHandle = nullptr; // the window drawn into, null when none
    HDC dc = nullptr;            // GetDC of windowHandle on the application's thread, or null
    int32_t ownsWindow = 0;      // 1: this object creates, closes and reads keys from windows
    int32_t okFlag = 0;          // construction succeeded

    CriticalLock windowLock;  // message handling against window-state changes
    CriticalLock paintLock;   // the paint surface and presenting into the window
    CriticalLock keyLock;     // the key queue and resetting keyEvent
    CriticalLock paletteLock; // the derived back ends' palette state

    List<MODE> modes; // display modes offered, filled by the derived class

  private:
    struct WindowThread {
        HANDLE handle;
        DWORD id;
    };
    struct ThreadStart;
    static unsigned __stdcall threadMain(void* start);
    void endWindowThread();

    KeyQueue keyQueue;
    HANDLE keyEvent = nullptr;            // manual reset, signalled while keys are queued
    WindowThread* windowThread = nullptr; // the current window's thread, or null
    char* title = nullptr;                // last title set, or null
    Surface* paintTarget = nullptr;       // not owned
    Rect paintSource, paintDestination;   // stored with paintTarget
};
