#pragma once
#include "backends/Windowed.h"
#include "backends/win32/Handles.h"
#include "backends/win32/WindowLookup.h"
#include "backends/win32/WindowThread.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

// A re-entrant lock: one critical section, entered and left by hand or through LockHold.
class CriticalLock {
  public:
    CriticalLock() { InitializeCriticalSection(&section); }
    ~CriticalLock() { DeleteCriticalSection(&section); }
    CriticalLock(const CriticalLock&) = delete;
    CriticalLock& operator=(const CriticalLock&) = delete;
    void enter() { EnterCriticalSection(&section); }
    void leave() { LeaveCriticalSection(&section); }
    // Enters unless another thread keeps it longer than limitMs; false then.
    bool enterWithin(DWORD limitMs);

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

// Holds a lock until the end of the scope, if it could be had within a limit.
class TimedHold {
  public:
    TimedHold(CriticalLock& held, DWORD limitMs) : lock(held), entered(held.enterWithin(limitMs)) {}
    ~TimedHold() {
        if (entered) lock.leave();
    }
    TimedHold(const TimedHold&) = delete;
    TimedHold& operator=(const TimedHold&) = delete;
    explicit operator bool() const { return entered; }

  private:
    CriticalLock& lock;
    bool entered;
};

// The two classes of window each back end registers.
enum class WindowKind { WINDOWED, FULL_SCREEN };

// The value every key press queues.
constexpr int32_t KEY_PRESSED = 1;

// What the two window back ends share beyond IWindowed: a top-level window living on a thread of
// its own, its message handling, the surface repainted on WM_PAINT, and the locks between the
// window thread and the application's thread.
//
// Constructed with no window it creates and owns its windows (createWindow / closeWindow);
// constructed with a caller's window it only draws into it, never creates, closes or reads
// keys from it.
//
// Lock order: windowLock before paintLock, keyLock or paletteLock. The lookup lists' lock is
// never held together with another lock. No lock of this object is held across a call that
// waits for the window thread (work handed to it, SetWindowPos, SetWindowTextA, closeWindow).
//
// windowLock guards this object's own window state on the application's thread (the display
// and staging surfaces, the device context) and is never held across a call into the system or
// the driver; the application's thread waits for it with the hand-over limit and fails the
// operation when it cannot have it. The window thread never takes it: what it reads of that
// state (the display surface, the device context) is written under paintLock as well.
// paintLock is held across presenting into the window (GDI), on either thread.
//
// The window procedures reach this object through a counted hold (ProcedureUse), taken with
// the lookup and given back before the default handling (DefWindowProcA, the black fill).
// While it is held only this object's state is touched, with calls that return at once
// (SetEvent, SetTimer), except a repaint or a palette realisation, which present with it. A back
// end's destructor removes its lookup records and then waits for the holds to be given back
// (awaitProcedures) before it frees anything, so a window thread left running never uses a freed
// object.
class IWin32 : public IWindowed {
  public:
    // attached: a caller's window to draw into, or null to own windows. ok() is 0 when the
    // key queue cannot be allocated or an attached window gives no device context.
    explicit IWin32(WindowHandle attached = nullptr);
    // Does not close an owned window: the derived destructor must call closeWindow first.
    ~IWin32() override;

    int nativeType() override { return NATIVE_GDI; }
    // The address of the window's device context.
    void* nativeData() override { return &dc; }
    WindowHandle window() override { return windowHandle; }
    // Also stops repainting the surface when it is the paint surface.
    int removeSurface(Surface* surface) override;

    // A window procedure's hold on the owner of its window: taken by WindowLookup::acquire,
    // given back by release (or at the end of the scope). While one is held the owner is not
    // freed.
    class ProcedureUse {
      public:
        explicit ProcedureUse(IWin32* held) : owner(held) {}
        ~ProcedureUse() { release(); }
        ProcedureUse(const ProcedureUse&) = delete;
        ProcedureUse& operator=(const ProcedureUse&) = delete;
        // The owner, or null when the window has none or the hold was given back.
        template <class Owner = IWin32> Owner* get() const { return static_cast<Owner*>(owner); }
        explicit operator bool() const { return owner != nullptr; }
        void release() {
            if (owner) owner->procedureUses.fetch_sub(1);
            owner = nullptr;
        }

      private:
        IWin32* owner;
    };

    // The message handling the back ends' window procedures end in; use holds the object found
    // for the window in the back end's lookup list, or nothing when the window is not registered
    // (yet, or any longer). The hold is given back before the default handling. A close request
    // to a window without an owner ends the process at once, first putting the desktop's display
    // mode back when restoreWithoutOwner is set.
    static LRESULT handleMessage(ProcedureUse& use, HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam, bool restoreWithoutOwner = false);

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
    // foreground. 1 on success; 0 (and no window) on any failure, when the window thread does
    // not answer in time, or when not owning windows. Call with no lock held.
    int createWindow(const char* className, DWORD style, int show, int width, int height);
    // Releases the device context and has the window destroyed on its thread, then waits for
    // the thread to end, within the hand-over limit. False when it did not end in time: it is
    // then left to end on its own, and this object no longer has a window either way. Nothing
    // when not owning windows. Call with no lock held.
    bool closeWindow();
    // Stops repainting, then sets the outer window size without moving it. 1 when the window
    // took the size. Call with no lock held.
    int resizeWindow(int width, int height);
    // The surface WM_PAINT copies onto displaySurface(); the areas are kept, not used.
    void setPaintSurface(Surface* surface, const Rect& source, const Rect& destination);
    void clearPaintSurface();

    // Runs work on the window's thread and hands back its result; nothing when there is no
    // window thread or it did not answer within the hand-over limit (see WindowThread::call,
    // also for what the work may capture). Call with no lock held.
    template <class Work> auto onWindowThread(Work work) {
        return windowThread.call(std::move(work), handOverLimit);
    }
    // The window thread's id, or 0 when there is none.
    DWORD windowThreadId() const { return windowThread.id(); }

    // Registers a window class of this program: its icon, the arrow cursor when asked for, no
    // background. A second registration fails harmlessly and keeps the first.
    static void registerWindowClass(const char* name, UINT style, WNDPROC procedure,
                                    bool arrowCursor);
    // The window procedure of Owner's windows of one kind: finds the owner in its lookup list
    // and takes a hold on it, and hands the message to Owner::windowMessage. No lock is held.
    template <class Owner, WindowKind kind>
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        ProcedureUse use(WindowLookup<Owner>::acquire(window));
        return Owner::windowMessage(use, kind, window, message, wParam, lParam);
    }

    // WM_PAINT's repaint: updates the paint surface onto this display, under paintLock.
    // False when there is nothing to repaint or the copy failed.
    bool repaint();
    // Waits, within the hand-over limit, until no window procedure holds this object; false when
    // one still does. Call once the lookup records are gone, so no new hold can be taken.
    bool awaitProcedures();
    // awaitProcedures for a destructor: a window procedure still holding the object when the
    // limit has passed is inside the system with it in hand (a repaint that does not return).
    // Freeing the object would have that thread write into freed memory, and waiting longer
    // would hang the caller: the process is ended instead, with status 3.
    void awaitProceduresOrEnd();

    // Fills the client area black through a device context of the calling thread.
    static void fillBlack(HWND window);
    // Called on the window thread (with a hold on this object) when WM_CLOSE ends the process
    // from there: what must not outlive it (a changed display mode) is put back here.
    virtual void endingOnClose() {}
    // Called on the application's thread when WM_CLOSE ends the process from there: everything
    // that has threads of its own (the window's, the driver's) is closed here first. A close
    // request ends the process (IWindowed's policy) at the application's next key check, once
    // it has closed the display: then no thread is inside the driver while the process ends,
    // which Wine does not survive (its graphics libraries' exit handlers run under a driver
    // thread still drawing).
    void closeOnRequest() override { closeWindow(); }
    bool readsWindowKeys() override { return windowHandle && ownsWindow; }
    // False once the window thread has ended: it takes the window, and any key, with it.
    bool awaitKey() override;
    // On the window's thread, with a copy of its own.
    int showTitle(const char* text) override;
    bool onWindowThread() override { return WindowThread::current(); }
    // Under windowLock and paintLock, each within the hand-over limit: a repaint on the window
    // thread reads the surfaces under paintLock. What is destroyed goes outside them.
    bool replaceSurface(Surface*& field, Surface* made) override;
    // Nothing to show: the derived back ends present (or have a display surface with pixels).
    int finishPresentation(Surface&, const Rect&, const Rect&) override { return 0; }

    HWND windowHandle = nullptr; // the window drawn into, null when none
    WindowDc dc;                 // GetDC of windowHandle on the application's thread
    int32_t ownsWindow = 0;      // 1: this object creates, closes and reads keys from windows
    // How long the application's thread waits for the window thread; tests shorten it.
    DWORD handOverLimit = WINDOW_THREAD_LIMIT_MS;
    // A window thread was left running after it stopped answering; it may still be inside a
    // driver call, holding the driver's lock.
    bool windowThreadLeft = false;

    CriticalLock windowLock;  // message handling against window-state changes
    CriticalLock paintLock;   // the paint surface and presenting into the window
    CriticalLock keyLock;     // held by the window thread while it queues a key
    CriticalLock paletteLock; // the derived back ends' palette state

  private:
    template <class> friend class WindowLookup;
    // Holds the window procedures have on this object (ProcedureUse).
    std::atomic<long> procedureUses{0};
    WindowThread windowThread;
    Surface* paintTarget = nullptr;     // not owned
    Rect paintSource, paintDestination; // stored with paintTarget
};
