#include "screensaver/Preview.h"

#include "backends/win32/WindowThread.h"
#include "front/PTC.h"
#include "screensaver/Rays.h"

#include <windows.h>

#include <memory>
#include <new>

namespace {

// Posted to the child once the display draws into it: take the parent's client area and show.
constexpr UINT fillParent = WM_APP;
constexpr DWORD startLimit = 10000; // for the child's thread to make the window
constexpr DWORD endLimit = 2000;    // for it to end

// What the drawing thread and the child's window share; each holds it as long as it runs, so
// a thread left behind after a bounded wait still finds it.
struct Child {
    HWND parent = nullptr;
    RECT area{};                                                    // the parent's client area
    KernelHandle gone{CreateEventA(nullptr, TRUE, FALSE, nullptr)}; // the child is destroyed
};

// The window keeps its own reference to the Child, handed over in WM_NCCREATE and let go of
// in WM_NCDESTROY.
LRESULT CALLBACK childProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* held =
        reinterpret_cast<std::shared_ptr<Child>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    Child* child = held ? held->get() : nullptr;
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
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        delete held;
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
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
    if (!child || !child->gone) return 1;
    child->parent = parent;
    if (!GetClientRect(parent, &child->area)) return 0; // gone meanwhile
    WNDCLASSA info{};
    info.lpfnWndProc = childProcedure;
    info.hInstance = GetModuleHandleA(nullptr);
    info.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    info.lpszClassName = previewClassName;
    RegisterClassA(&info); // fails harmlessly when an earlier preview registered it
    // The window's own reference; a window that is never made leaves it to the process's end.
    auto* held = new (std::nothrow) std::shared_ptr<Child>(child);
    if (!held) return 1;
    // Made hidden at the frames' size, which the window back end takes as the size it scales
    // from; it fills the parent once the display is open. WS_EX_NOPARENTNOTIFY: WM_PARENTNOTIFY
    // would wait for the parent's thread, which belongs to another process that may not answer.
    WindowRequest request{previewClassName, "", WS_CHILD, SW_HIDE, rayAreaWidth, rayAreaHeight};
    request.exStyle = WS_EX_NOPARENTNOTIFY;
    request.parent = parent;
    request.param = held;
    WindowThread thread;
    const int status = thread.start(request, startLimit)
                           ? drawFrames(frames, *child, thread.window())
                       : childGone(*child) ? 0
                                           : 1;
    // A child destroyed with its parent has ended its thread already; a thread that does not
    // end in time is left to the process's end.
    thread.stop(endLimit);
    return status;
}
