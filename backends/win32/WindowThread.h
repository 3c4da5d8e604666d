#pragma once
#include "backends/win32/Handles.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

// How long another thread waits for a window's thread (to create its window, to run work
// there, to end) before the operation fails. A display mode change under load takes well under a
// second; a thread that does not answer in ten is taken to be stuck.
constexpr DWORD WINDOW_THREAD_LIMIT_MS = 10000;
// Stack size of a window thread.
constexpr unsigned WINDOW_THREAD_STACK = 0x40000;

// What a window thread creates: CreateWindowExA at the system's default position (a child
// window's is its parent's corner), then ShowWindow with show. The strings are copied; param
// reaches the window procedure as WM_NCCREATE's lpCreateParams. A window with a parent is given
// no focus: that would activate the parent's top-level window.
struct WindowRequest {
    const char* className;
    const char* windowName;
    DWORD style;
    int show;
    int width;
    int height;
    DWORD exStyle = 0;
    HWND parent = nullptr;
    void* param = nullptr;
};

// How a wait for another thread ended.
enum class WaitEnd { SIGNALLED, OTHER_ENDED, TIMED_OUT };

// Waits until object is signalled, at most limitMs (INFINITE for no limit), in steps. Ends early
// when other (a thread handle, or null) ends first. Messages sent to the calling thread's own
// windows are handled meanwhile, as SendMessage does, so a thread that sends to this one while
// this one waits for it cannot deadlock the pair.
WaitEnd waitForThread(HANDLE object, HANDLE other, DWORD limitMs);

// The thread a window lives on: it creates the window, runs the message loop, and runs the work
// other threads hand it. The work is queued and drained by the message loop itself, between
// messages, never from inside a window procedure: so a driver that takes over the window's
// messages (Wine's DirectDraw sends them to DefWindowProc while it works on the window) cannot
// skip it, and work never runs nested inside a call that is itself dispatching messages.
//
// Every wait for the thread has a limit and reports failure; nothing waits forever, and work the
// thread did not run is never run on the caller's thread instead.
class WindowThread {
  public:
    WindowThread() = default;
    // stop(), with the default limit.
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    // Starts a thread that creates the window and then runs its message loop, and waits at most
    // limitMs for the window. False when creation failed or did not finish in time: a thread
    // still creating is left to destroy its window and end on its own.
    bool start(const WindowRequest& request, DWORD limitMs);
    // Has the window destroyed on its own thread and waits at most limitMs for the thread to
    // end; at once when an earlier wait already found it not answering. True when it ended (or
    // there was none). Otherwise the thread is left to end by itself when it catches up, and
    // this object lets go of it: false.
    bool stop(DWORD limitMs);

    // The window, or null before start and after stop.
    HWND window() const { return windowHandle; }
    // The thread's handle, to wait for it to end; null when there is none.
    HANDLE handle() const { return thread.get(); }
    DWORD id() const { return threadId; }

    // Runs work on the window thread and waits at most limitMs for it; work() is called there,
    // and its result handed back. Nothing when the thread has ended, has not run the work
    // within the limit, or still has not finished the work of an earlier call that gave up:
    // work that has not started by then never runs. Called on the window thread itself, the
    // work runs at once.
    //
    // The work must own what it uses (capture by value, COM objects as ComPtr): after a waiter
    // gives up, work already running finishes on its own, with the waiter gone. Its captures,
    // and a result the waiter gave up on, are destroyed on the window thread (see Task); work
    // that never reached the thread (none, or refused at once) is destroyed by the caller.
    template <class Work> auto call(Work work, DWORD limitMs) -> std::optional<decltype(work())>;

    // Whether the calling thread is a window thread running its message loop.
    static bool current();

  private:
    class Task;
    template <class Work> class WorkTask;
    struct Shared;

    static unsigned __stdcall main(void* shared);
    // Queues task (taking a reference); false when the thread takes no more work.
    bool post(Task* task);
    // Waits for a posted task; true when it ran to the end.
    bool wait(Task* task, DWORD limitMs);
    // Whether an earlier call that gave up is still running on the thread.
    bool overdueStillRunning();
    void letGo();

    Shared* shared = nullptr; // shared with the thread, which holds a reference of its own
    KernelHandle thread;
    DWORD threadId = 0;
    HWND windowHandle = nullptr;
    Task* overdue = nullptr; // the last work whose caller gave up, until the thread is done with it
};

// One object that is destroyed only on a window thread: work that lets go of the last reference
// to a driver object carries it in one of these. Destroyed anywhere else (the work never reached
// the thread), the object is left as it is on purpose: letting go of it there could wait for
// the driver's lock, which a window thread that stopped answering may hold for good.
template <class T> class WindowThreadOwned {
  public:
    explicit WindowThreadOwned(T* owned) : object(owned) {}
    ~WindowThreadOwned() {
        if (!WindowThread::current()) object.release();
    }
    WindowThreadOwned(WindowThreadOwned&&) noexcept = default;
    WindowThreadOwned& operator=(WindowThreadOwned&&) = delete;
    T* operator->() const { return object.get(); }
    explicit operator bool() const { return bool(object); }

  private:
    std::unique_ptr<T> object;
};

// Work queued for a window thread. The queue and the waiter hold one reference each.
//
// What the work captured, and a result nobody takes, are disposed of on the window thread: the
// work as soon as it has run (or been given up unrun), the result when its waiter gave up on it
// while it ran. So a COM object the work made or captured is let go of on the thread that uses
// it, never later on the waiter's.
class WindowThread::Task {
  public:
    Task() : finished(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    virtual ~Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    virtual void run() = 0;
    virtual void disposeWork() = 0;
    virtual void disposeResult() = 0;

    // PENDING -> RUNNING -> DONE on the thread; PENDING -> CANCELLED when the waiter gives up
    // (or the thread ends) before it starts; RUNNING -> ABANDONED when the waiter gives up while
    // it runs.
    enum State { PENDING, RUNNING, DONE, CANCELLED, ABANDONED };
    std::atomic<int> state{PENDING};
    std::atomic<long> references{2};
    KernelHandle finished; // set once the thread is done with the task, whether it ran or not
    Task* next = nullptr;  // in the queue

    void release() {
        if (references.fetch_sub(1) == 1) delete this;
    }
};

template <class Work> class WindowThread::WorkTask : public WindowThread::Task {
  public:
    using Result = decltype(std::declval<Work&>()());
    explicit WorkTask(Work&& w) { work.emplace(std::move(w)); }
    void run() override { result.emplace((*work)()); }
    void disposeWork() override { work.reset(); }
    void disposeResult() override { result.reset(); }
    std::optional<Work> work;
    std::optional<Result> result;
};

template <class Work>
auto WindowThread::call(Work work, DWORD limitMs) -> std::optional<decltype(work())> {
    if (!thread) return std::nullopt;
    if (GetCurrentThreadId() == threadId) return work();
    if (overdueStillRunning()) return std::nullopt;
    auto* task = new (std::nothrow) WorkTask<Work>(std::move(work));
    if (!task) return std::nullopt;
    std::optional<decltype(work())> result;
    if (!task->finished) {
        delete task;
        return result;
    }
    if (!post(task)) {
        task->references = 1;
        task->release();
        return result;
    }
    // Taken out of the task: what is left of it may be freed on either thread.
    if (wait(task, limitMs)) result = std::move(task->result);
    task->release();
    return result;
}
