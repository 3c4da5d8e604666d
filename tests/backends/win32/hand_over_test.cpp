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
