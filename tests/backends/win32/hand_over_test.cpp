// Work handed to a window's thread, and what happens when that thread stops answering: the
// caller gets a failure within the limit instead of waiting forever, work that did not start
// never runs elsewhere, and a full-screen display still closes and the process still ends.
#include "backends/directx/DirectX.h"
#include "backends/win32/WindowThread.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

namespace {

// Long past any limit used here, so a caller that returns in time cannot have waited for it.
constexpr DWORD STUCK_MS = 20000;
constexpr DWORD LIMIT_MS = 1000;
// Far below STUCK_MS, and far above the limit, to stay clear of a busy machine's noise.
constexpr ULONGLONG FAILED_WITHIN_MS = 8000;

ULONGLONG since(ULONGLONG start) {
    return GetTickCount64() - start;
}

struct StuckDirectX : IDirectX {
    using IDirectX::handOverLimit;
    using IDirectX::onWindowThread;
};

// Stalls a window thread inside a window message, nested in the back end's own window procedure
// as a driver's callback would be: the full-screen class's procedure is wrapped so that, once
// armed, the first WM_DISPLAYCHANGE (sent inside every mode change) goes to the back end's
// procedure as a WM_WINDOWPOSCHANGED, whose default handling sends WM_SIZE, which sleeps.
WNDPROC backEndProcedure = nullptr;
std::atomic<bool> stallArmed{false};
std::atomic<bool> sizeStalls{false};
std::atomic<bool> stalled{false};

LRESULT CALLBACK stallingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE && stallArmed.exchange(false)) {
        sizeStalls = true;
        WINDOWPOS moved = {window, nullptr, 0, 0, 1, 1, 0};
        CallWindowProcA(backEndProcedure, window, WM_WINDOWPOSCHANGED, 0, LPARAM(&moved));
    } else if (message == WM_SIZE && sizeStalls.exchange(false)) {
        stalled = true;
        Sleep(STUCK_MS);
    }
    return CallWindowProcA(backEndProcedure, window, message, wParam, lParam);
}

// Sends the window a close request from inside the first mode change it sees.
LRESULT CALLBACK closingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE && !stalled.exchange(true))
        SendMessageA(window, WM_CLOSE, 0, 0);
    return CallWindowProcA(backEndProcedure, window, message, wParam, lParam);
}

int desktopWidth() {
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    return EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) ? int(mode.dmPelsWidth) : 0;
}

int desktopHeight() {
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    return EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) ? int(mode.dmPelsHeight) : 0;
}

} // namespace

TEST(WindowThreadHandOver, WorkRunsThereOrFailsWithinTheLimit) {
    Watchdog watchdog(60000, "hand-over");
    WindowThread thread;
    ASSERT_TRUE(thread.start({"STATIC", "", WS_POPUP, SW_HIDE, 10, 10}, LIMIT_MS * 5));
    ASSERT_TRUE(IsWindow(thread.window()));
    const auto where = thread.call([] { return GetCurrentThreadId(); }, LIMIT_MS * 5);
    ASSERT_TRUE(where);
    EXPECT_EQ(*where, thread.id());
    EXPECT_NE(*where, GetCurrentThreadId());
    EXPECT_EQ(thread.call([] { return WindowThread::current(); }, LIMIT_MS * 5), true);
    EXPECT_FALSE(WindowThread::current());

    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(thread.call(
        [] {
            Sleep(3000);
            return true;
        },
        LIMIT_MS))
        << "work still running at the limit fails the call";
    EXPECT_LT(since(start), 3000u);
    // While that work runs, the thread does not answer: later work fails at once, and is never
    // run, not there and not here.
    auto ran = std::make_shared<std::atomic<bool>>(false);
    start = GetTickCount64();
    EXPECT_FALSE(thread.call(
        [ran] {
            *ran = true;
            return true;
        },
        LIMIT_MS));
    EXPECT_LT(since(start), 3000u);
    // Once it is done, the thread answers again.
    Sleep(3000);
    EXPECT_EQ(thread.call([] { return 7; }, LIMIT_MS * 5), 7);
    EXPECT_FALSE(*ran);

    EXPECT_TRUE(thread.stop(LIMIT_MS * 5));
    EXPECT_FALSE(thread.window());
    EXPECT_FALSE(thread.call([] { return true; }, LIMIT_MS)) << "no thread any more";
}

// The process itself must end: run in a child whose exit status carries the outcome.
TEST(WindowThreadHandOverDeathTest, StuckFullScreenWindowThreadFailsInTimeAndTheDisplayCloses) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Watchdog watchdog(60000, "stuck window thread");
            auto* display = new StuckDirectX;
            if (!display->ok() || display->open(320, 200, 32, -1, -1, -1) != 1) std::_Exit(10);
            display->handOverLimit = LIMIT_MS;
            ULONGLONG start = GetTickCount64();
            const auto stuck = display->onWindowThread([] {
                Sleep(STUCK_MS);
                return true;
            });
            if (stuck || since(start) > FAILED_WITHIN_MS) std::_Exit(11);
            // Closing needs the window thread for the mode, the screen's surface and the window:
            // each fails without waiting for it, and the desktop's mode comes back regardless.
            start = GetTickCount64();
            display->close();
            if (since(start) > FAILED_WITHIN_MS) std::_Exit(12);
            if (GetSystemMetrics(SM_CXSCREEN) != 640 || display->window()) std::_Exit(13);
            delete display;
            if (since(start) > FAILED_WITHIN_MS) std::_Exit(14);
            // The normal way out, with the stuck thread still asleep.
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// The window thread stalls inside a message during a mode change and during a full-screen close:
// the application's thread fails in time, the desktop's mode comes back, and the process ends.
TEST(WindowThreadHandOverDeathTest, StallInsideAMessageFailsInTimeAndTheProcessEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool duringClose : {false, true}) {
        EXPECT_EXIT(
            {
                Watchdog watchdog(60000, "stall inside a message");
                auto* display = new StuckDirectX;
                if (!display->ok() || display->open(320, 200, 32, -1, -1, -1) != 1) std::_Exit(10);
                // Windows made from now on get the stalling procedure.
                backEndProcedure = reinterpret_cast<WNDPROC>(
                    SetClassLongPtrA(display->window(), GCLP_WNDPROC, LONG_PTR(stallingProcedure)));
                if (duringClose && display->open(640, 400, 32, -1, -1, -1) != 1) std::_Exit(11);
                // Long enough for the steps before the stall on a busy machine.
                display->handOverLimit = LIMIT_MS * 3;
                stallArmed = true;
                ULONGLONG start = GetTickCount64();
                // The mode change: its message does not return, so the open fails.
                if (duringClose)
                    display->close();
                else if (display->open(640, 400, 32, -1, -1, -1) != 0)
                    std::_Exit(12);
                // Every step of it fails within its limit, never waiting for the stall itself.
                if (since(start) > STUCK_MS * 3 / 4) std::_Exit(13);
                if (!stalled) std::_Exit(14);
                if (GetSystemMetrics(SM_CXSCREEN) != 640 || display->window()) std::_Exit(15);
                start = GetTickCount64();
                delete display;
                if (since(start) > FAILED_WITHIN_MS) std::_Exit(16);
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << (duringClose ? "during the close" : "during the mode change");
    }
}

// A close request to a full-screen window nobody owns, while a mode is set, and one that comes
// during the mode change of an open: both end the process with status 0 and the desktop's own
// mode back.
TEST(WindowThreadHandOverDeathTest, CloseRequestPutsTheDesktopModeBack) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        bool unregistered;
        const char* why;
    } cases[] = {
        {true, "window not registered while its mode is set"},
        {false, "close request inside the mode change of an open"},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                Watchdog watchdog(60000, c.why);
                auto* display = new StuckDirectX;
                if (!display->ok() || display->open(320, 200, 32, -1, -1, -1) != 1) std::_Exit(10);
                HWND window = display->window();
                if (c.unregistered) {
                    WindowLookup<IDirectX>::remove(display);
                    PostMessageA(window, WM_CLOSE, 0, 0);
                } else {
                    // Sent by the window thread to itself at the mode change of the next open.
                    backEndProcedure = reinterpret_cast<WNDPROC>(
                        SetClassLongPtrA(window, GCLP_WNDPROC, LONG_PTR(closingProcedure)));
                    display->open(640, 400, 32, -1, -1, -1);
                }
                // An application's frame loop.
                const ULONGLONG start = GetTickCount64();
                while (since(start) < FAILED_WITHIN_MS) {
                    if (display->keyPressed()) display->readKey();
                    Sleep(10);
                }
                std::_Exit(11);
            },
            ::testing::ExitedWithCode(0), "")
            << c.why;
        EXPECT_EQ(desktopWidth(), 640) << c.why;
        EXPECT_EQ(desktopHeight(), 480) << c.why;
        ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    }
}

// Work whose waiter gave up while it ran: its result and its captures, DirectDraw objects here,
// are let go of on the window thread. Every form of letting go of one is counted.
TEST(WindowThreadHandOver, AbandonedDirectDrawObjectsAreReleasedOnTheWindowThread) {
    Watchdog watchdog(60000, "abandoned results");
    directx::DirectDrawLink link;
    ASSERT_TRUE(link.load());
    const auto create = link.directDrawCreate;
    WindowThread thread;
    ASSERT_TRUE(thread.start({"STATIC", "", WS_POPUP, SW_HIDE, 10, 10}, LIMIT_MS * 5));
    for (const bool asResult : {true, false}) {
        const char* what = asResult ? "result" : "capture";
        const directx::DisplayCalls before = directx::displayCalls();
        directx::DirectDraw captured;
        if (!asResult) {
            ASSERT_TRUE(captured.create(create)) << what;
        }
        // The work runs until told to end, so the waiter certainly gives up while it runs.
        struct Gate {
            KernelHandle end{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
            std::atomic<bool> started{false};
        };
        auto gate = std::make_shared<Gate>();
        auto hold = [gate] {
            gate->started = true;
            WaitForSingleObject(gate->end.get(), STUCK_MS);
        };
        bool gaveUp;
        if (asResult)
            gaveUp = !thread.call(
                [create, hold] {
                    directx::DirectDraw made;
                    made.create(create);
                    hold();
                    return made;
                },
                LIMIT_MS * 3);
        else
            gaveUp = !thread.call(
                [held = std::move(captured), hold] {
                    hold();
                    return held.loaded();
                },
                LIMIT_MS * 3);
        SetEvent(gate->end.get());
        ASSERT_TRUE(gate->started) << what << ": the thread never took the work";
        ASSERT_TRUE(gaveUp) << what;
        // Answers again once the abandoned work is over and disposed of.
        std::optional<int> answer;
        for (int i = 0; i < 200 && !answer; ++i) {
            Sleep(50);
            answer = thread.call([] { return 1; }, LIMIT_MS * 5);
        }
        ASSERT_EQ(answer, 1) << what;
        const directx::DisplayCalls after = directx::displayCalls();
        EXPECT_EQ(after.onWindowThread - before.onWindowThread, 1) << what << " released there";
        EXPECT_EQ(after.elsewhere - before.elsewhere, 0) << what << " released elsewhere";
    }
    EXPECT_TRUE(thread.stop(LIMIT_MS * 5));

    struct Form {
        const char* name;
        void (*letGo)(directx::DirectDraw&);
    } forms[] = {
        {"release", [](directx::DirectDraw& d) { d.release(); }},
        {"assignment", [](directx::DirectDraw& d) { d = directx::DirectDraw(); }},
        {"destruction", [](directx::DirectDraw& d) { directx::DirectDraw gone(std::move(d)); }},
    };
    for (const Form& form : forms) {
        directx::DirectDraw object;
        ASSERT_TRUE(object.create(create)) << form.name;
        const long before = directx::displayCalls().elsewhere;
        form.letGo(object);
        EXPECT_FALSE(object.loaded()) << form.name;
        EXPECT_EQ(directx::displayCalls().elsewhere - before, 1) << form.name;
    }
}
