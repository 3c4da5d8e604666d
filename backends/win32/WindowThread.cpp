#include "backends/win32/WindowThread.h"

#include <process.h>

#include <cstring>

namespace {

// How often a waiting thread looks again: whether the other thread still lives, and whether
// its own limit has passed.
constexpr DWORD WAIT_STEP_MS = 50;

thread_local bool onWindowThread = false;

// A heap copy of a string, or null when it cannot be had.
HeapBlock<char> copyOf(const char* text) {
    const size_t size = std::strlen(text ? text : "") + 1;
    HeapBlock<char> copy(static_cast<char*>(std::malloc(size)));
    if (copy) std::memcpy(copy.get(), text ? text : "", size);
    return copy;
}

} // namespace

WaitEnd waitForThread(HANDLE object, HANDLE other, DWORD limitMs) {
    const ULONGLONG start = GetTickCount64();
    HANDLE handles[2] = {object, other};
    const DWORD count = other ? 2 : 1;
    for (;;) {
        DWORD step = WAIT_STEP_MS;
        if (limitMs != INFINITE) {
            const ULONGLONG waited = GetTickCount64() - start;
            if (waited >= limitMs) return WaitEnd::TIMED_OUT;
            if (limitMs - waited < step) step = DWORD(limitMs - waited);
        }
        const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, step, QS_SENDMESSAGE, 0);
        if (woken == WAIT_OBJECT_0) return WaitEnd::SIGNALLED;
        if (count == 2 && woken == WAIT_OBJECT_0 + 1)
            // The object may have been signalled just before the other thread ended.
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0 ? WaitEnd::SIGNALLED
                                                                   : WaitEnd::OTHER_ENDED;
        if (woken == WAIT_OBJECT_0 + count) {
            // Handles the messages sent to this thread's windows, and nothing else.
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (woken == WAIT_FAILED) {
            Sleep(step);
        }
    }
}

// Shared by the thread and its WindowThread object, each holding a reference, so either may
// be gone first.
struct WindowThread::Shared {
    std::atomic<long> references{2};
    enum Start { STARTING, READY, FAILED, ABANDONED };
    std::atomic<int> start{STARTING};
    std::atomic<HWND> window{nullptr};
    KernelHandle started; // set once the window exists or creation failed
    KernelHandle work;    // set when work is queued
    SRWLOCK queueLock = SRWLOCK_INIT;
    Task* first = nullptr;
    Task* last = nullptr;
    bool accepting = true; // false once the message loop has ended
    HeapBlock<char> className, windowName;
    DWORD style = 0, exStyle = 0;
    int show = 0, width = 0, height = 0;
    HWND parent = nullptr;
    void* param = nullptr;

    void release() {
        if (references.fetch_sub(1) == 1) delete this;
    }

    Task* take() {
        AcquireSRWLockExclusive(&queueLock);
        Task* task = first;
        if (task) {
            first = task->next;
            if (!first) last = nullptr;
        }
        ReleaseSRWLockExclusive(&queueLock);
        return task;
    }

    void runQueued() {
        while (Task* task = take()) {
            int expected = Task::PENDING;
            if (task->state.compare_exchange_strong(expected, Task::RUNNING)) {
                task->run();
                expected = Task::RUNNING;
                // A waiter that gave up meanwhile takes nothing: the result goes here.
                if (!task->state.compare_exchange_strong(expected, Task::DONE))
                    task->disposeResult();
            }
            task->disposeWork();
            SetEvent(task->finished.get());
            task->release();
        }
    }

    // After the message loop: nothing more is taken, and what is queued is given up.
    void closeQueue() {
        AcquireSRWLockExclusive(&queueLock);
        accepting = false;
        ReleaseSRWLockExclusive(&queueLock);
        while (Task* task = take()) {
            int expected = Task::PENDING;
            task->state.compare_exchange_strong(expected, Task::CANCELLED);
            task->disposeWork();
            SetEvent(task->finished.get());
            task->release();
        }
    }

    void messageLoop() {
        for (;;) {
            runQueued();
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) return;
                TranslateMessage(&message);
                DispatchMessageA(&message);
                // Between messages too, so a flood of them does not hold the work back.
                runQueued();
            }
            HANDLE queued = work.get();
            MsgWaitForMultipleObjectsEx(1, &queued, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
};

bool WindowThread::current() {
    return onWindowThread;
}

unsigned __stdcall WindowThread::main(void* parameter) {
    Shared* shared = static_cast<Shared*>(parameter);
    onWindowThread = true;
    HWND window =
        CreateWindowExA(shared->exStyle, shared->className.get(), shared->windowName.get(),
                        shared->style, CW_USEDEFAULT, CW_USEDEFAULT, shared->width, shared->height,
                        shared->parent, nullptr, nullptr, shared->param);
    if (window && IsWindow(window)) ShowWindow(window, shared->show);
    shared->window = window;
    int expected = Shared::STARTING;
    const bool awaited =
        shared->start.compare_exchange_strong(expected, window ? Shared::READY : Shared::FAILED);
    SetEvent(shared->started.get());
    if (window && !awaited) {
        // The creator stopped waiting: nobody will use or close this window.
        DestroyWindow(window);
        window = nullptr;
    }
    if (window) {
        if (!shared->parent) SetFocus(window);
        if (shared->show != 0) SetForegroundWindow(window);
        shared->messageLoop();
    }
    shared->closeQueue();
    shared->release();
    return 0;
}

WindowThread::~WindowThread() {
    stop(WINDOW_THREAD_LIMIT_MS);
}

bool WindowThread::start(const WindowRequest& request, DWORD limitMs) {
    stop(limitMs);
    Shared* made = new (std::nothrow) Shared;
    if (!made) return false;
    made->started.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    made->work.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    made->className = copyOf(request.className);
    made->windowName = copyOf(request.windowName);
    made->style = request.style;
    made->show = request.show;
    made->width = request.width;
    made->height = request.height;
    made->exStyle = request.exStyle;
    made->parent = request.parent;
    made->param = request.param;
    unsigned id = 0;
    uintptr_t started = 0;
    if (made->started && made->work && made->className && made->windowName)
        started = _beginthreadex(nullptr, WINDOW_THREAD_STACK, main, made, 0, &id);
    if (!started) {
        delete made;
        return false;
    }
    shared = made;
    thread.reset(reinterpret_cast<HANDLE>(started));
    threadId = id;

    // Also wakes when the thread dies before it signals, so the creator never waits for nothing.
    const WaitEnd end = waitForThread(shared->started.get(), thread.get(), limitMs);
    int expected = Shared::STARTING;
    if (end != WaitEnd::SIGNALLED &&
        shared->start.compare_exchange_strong(expected, Shared::ABANDONED)) {
        letGo();
        return false;
    }
    // Ready after all, if the thread got there while the wait was giving up.
    if (shared->start.load() != Shared::READY) {
        stop(limitMs);
        return false;
    }
    windowHandle = shared->window.load();
    return true;
}

bool WindowThread::post(Task* task) {
    AcquireSRWLockExclusive(&shared->queueLock);
    const bool accepted = shared->accepting;
    if (accepted) {
        task->next = nullptr;
        if (shared->last)
            shared->last->next = task;
        else
            shared->first = task;
        shared->last = task;
    }
    ReleaseSRWLockExclusive(&shared->queueLock);
    if (accepted) SetEvent(shared->work.get());
    return accepted;
}

bool WindowThread::wait(Task* task, DWORD limitMs) {
    waitForThread(task->finished.get(), thread.get(), limitMs);
    int state = Task::PENDING;
    // Work the thread has not started by now is never run.
    if (task->state.compare_exchange_strong(state, Task::CANCELLED)) return false;
    if (state == Task::RUNNING && task->state.compare_exchange_strong(state, Task::ABANDONED)) {
        // Still at work: the thread is taken not to answer until it has finished, and disposes
        // of the result itself.
        if (overdue) overdue->release();
        task->references.fetch_add(1);
        overdue = task;
        return false;
    }
    if (state != Task::DONE) return false;
    // Done just now: the result is set before the state, and the thread touches it no more.
    return true;
}

bool WindowThread::overdueStillRunning() {
    if (!overdue) return false;
    if (WaitForSingleObject(overdue->finished.get(), 0) != WAIT_OBJECT_0) return true;
    overdue->release();
    overdue = nullptr;
    return false;
}

bool WindowThread::stop(DWORD limitMs) {
    if (!thread) return true;
    if (GetCurrentThreadId() == threadId) {
        // On the window thread itself (a window procedure closing its own window): it cannot
        // wait for itself. Its loop ends after this message, and the thread with it.
        if (windowHandle) DestroyWindow(windowHandle);
        PostQuitMessage(0);
        letGo();
        return true;
    }
    const HWND window = windowHandle;
    struct Destroy {
        HWND window;
        bool operator()() const {
            // WM_DESTROY ends the loop in the window procedure; posted here as well, since a
            // driver may keep the window's messages from that procedure.
            if (window) DestroyWindow(window);
            PostQuitMessage(0);
            return true;
        }
    };
    auto* destroy = new (std::nothrow) WorkTask<Destroy>(Destroy{window});
    if (destroy && destroy->finished && post(destroy)) {
        destroy->release(); // the thread runs it whenever it gets there; nobody waits for it
    } else {
        delete destroy;
        // Not taking work any more (or no memory): ask the thread's loop to end directly.
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    }
    const bool ended = !overdueStillRunning() &&
                       waitForThread(thread.get(), nullptr, limitMs) == WaitEnd::SIGNALLED;
    letGo();
    return ended;
}

void WindowThread::letGo() {
    if (overdue) overdue->release();
    overdue = nullptr;
    if (shared) shared->release();
    shared = nullptr;
    thread.reset();
    threadId = 0;
    windowHandle = nullptr;
}
