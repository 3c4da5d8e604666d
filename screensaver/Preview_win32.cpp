#include "screensaver/Preview.h"

#include "front/PTC.h"
#include "screensaver/Rays.h"

#include <windows.h>
// after windows.h
#include <process.h>

#include <atomic>
#include <memory>
#include <new>

namespace {

// Posted to the child once the display draws into it: take the parent's client area and show.
constexpr UINT fillParent = WM_APP;
constexpr DWORD startLimit = 10000; // for the child's thread to make the window
constexpr DWORD endLimit = 2000;    // for it to end

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle newEvent() {
    return Handle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

// What the drawing thread and the child's thread share; each holds it as long as it runs, so
// a thread left behind after a bounded wait still finds it.
struct Child {
    HWND parent = nullptr;
    RECT area{};              // the parent's client area at the start
    Handle made = newEvent(); // the child exists, or could not be made
    Handle gone = newEvent(); // the child is destroyed
    std::atomic<HWND> window{nullptr};
};

LRESULT CALLBACK childProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* child = reinterpret_cast<Child*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case fillParent:
        if (child)
            SetWindowPos(window, nullptr, 0, 0, child->area.right, child->area.bottom,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return 0;
    case WM_MOUSEACTIVATE: // a click leaves the activation where it is
        return MA_NOACTIVATE;
    case WM_ERASEBKGND: // the next frame covers every pixel
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (child) SetEvent(child->gone.get());
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

unsigned __stdcall childThread(void* start) {
    const std::unique_ptr<std::shared_ptr<Child>> handed(
        static_cast<std::shared_ptr<Child>*>(start));
    const std::shared_ptr<Child> child = *handed;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA info{};
    info.lpfnWndProc = childProcedure;
    info.hInstance = instance;
    info.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    info.lpszClassName = previewClassName;
    RegisterClassA(&info); // fails harmlessly when an earlier preview registered it
    // Made at the frames' size, which the window back end takes as the size it scales from; it
    // fills the parent once the display is open. WS_EX_NOPARENTNOTIFY: WM_PARENTNOTIFY would
    // wait for the parent's thread, which belongs to another process that may not answer.
    const HWND window =
        CreateWindowExA(WS_EX_NOPARENTNOTIFY, previewClassName, "", WS_CHILD, 0, 0, rayAreaWidth,
                        rayAreaHeight, child->parent, nullptr, instance, child.get());
    child->window = window;
    SetEvent(child->made.get());
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

bool childGone(const Child& child) {
    return WaitForSingleObject(child.gone.get(), 0) != WAIT_TIMEOUT || !IsWindow(child.parent);
}

// The child as the paced frames see it.
class ChildWindow : public PreviewWindow {
  public:
    explicit ChildWindow(const Child& drawn) : child(drawn) {}
    bool gone() override { return childGone(child); }
    void wait(uint32_t milliseconds) override {
        WaitForSingleObject(child.gone.get(), milliseconds);
    }

  private:
    const Child& child;
};

int drawFrames(Frames& frames, const Child& child, HWND window) {
    PTC display;
    // By name, so that the search constructs only the window back end: the full-screen one
    // would load DirectDraw and raise the process's priority.
    WindowHandle target = window;
    display.init("GDI", target);
    // A child already gone has no device context to draw with; that is an end, not a failure.
    if (!display.isOpen()) return childGone(child) ? 0 : 1;
    PostMessageA(window, fillParent, 0, 0);
    ChildWindow drawn(child);
    return drawPaced(frames, display, drawn);
}

} // namespace

int runPreview(Frames& frames, WindowHandle parent) {
    if (!parent || !IsWindow(parent)) return 0;
    const std::shared_ptr<Child> child(new (std::nothrow) Child);
    if (!child || !child->made || !child->gone) return 1;
    child->parent = parent;
    if (!GetClientRect(parent, &child->area)) return 0; // gone meanwhile
    auto* start = new (std::nothrow) std::shared_ptr<Child>(child);
    if (!start) return 1;
    unsigned threadId = 0;
    const Handle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, childThread, start, 0, &threadId)));
    if (!thread) {
        delete start;
        return 1;
    }
    const HANDLE madeOrEnded[] = {child->made.get(), thread.get()};
    WaitForMultipleObjects(2, madeOrEnded, FALSE, startLimit);
    const HWND window = child->window;
    const int status = window ? drawFrames(frames, *child, window) : childGone(*child) ? 0 : 1;
    // A child destroyed with its parent has ended its thread's loop already; one that was not
    // destroyed is closed, which ends the loop; a thread still making it is left to the
    // process's end.
    if (window && IsWindow(window))
        PostMessageA(window, WM_CLOSE, 0, 0);
    else
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread.get(), endLimit);
    return status;
}
