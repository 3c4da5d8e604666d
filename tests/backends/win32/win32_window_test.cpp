#include "backends/win32/Win32.h"
#include "display/Surface.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr const char* testClass = "PTC_TEST_WINDOW";

// The smallest back end on IWin32: a window class, a lookup list and the shared window
// procedure, like the real back ends'.
class TestWindow : public IWin32 {
  public:
    explicit TestWindow(WindowHandle attached = nullptr) : IWin32(attached) {
        registerWindowClass(testClass, 0, windowProcedure<TestWindow, WindowKind::WINDOWED>, true);
    }
    ~TestWindow() override {
        close();
        awaitProceduresOrEnd();
    }

    int open(int width, int height, const char* className = testClass) {
        if (!createWindow(className, WS_OVERLAPPEDWINDOW, SW_SHOWNORMAL, width, height)) return 0;
        return WindowLookup<TestWindow>::insert(windowHandle, this) ? 1 : 0;
    }
    void close() {
        WindowLookup<TestWindow>::remove(this);
        closeWindow();
    }

    static LRESULT windowMessage(ProcedureUse& use, WindowKind, HWND window, UINT message,
                                 WPARAM wParam, LPARAM lParam) {
        return IWin32::handleMessage(use, window, message, wParam, lParam);
    }

    using IWin32::closeWindow;
    using IWin32::createWindow;
    using IWin32::display;
    using IWin32::handOverLimit;
    using IWin32::onWindowThread;
    using IWin32::resizeWindow;
    using IWin32::setPaintSurface;
};

int threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

// The process's handle count. Where the platform does not report one (Wine), an estimate: once
// more handles are taken than there are free slots, the highest one sits at (handles in use +
// handles taken) slots, whatever order the free slots are reused in.
uintptr_t handleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    constexpr int probes = 512;
    HANDLE taken[probes];
    uintptr_t highest = 0;
    for (HANDLE& h : taken) {
        h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (reinterpret_cast<uintptr_t>(h) > highest) highest = reinterpret_cast<uintptr_t>(h);
    }
    for (HANDLE h : taken) CloseHandle(h);
    return highest / 4 > probes ? highest / 4 - probes : 1;
}

SIZE clientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// Paints the client area white once the window has settled: paints still pending from showing
// the window (Wine handles the X server's exposures late) would otherwise blacken it later.
void fillWhite(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    for (int attempt = 0; attempt < 50; ++attempt) {
        SendMessageA(window, WM_PAINT, 0, 0);
        HDC dc = GetDC(window);
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        GdiFlush();
        Sleep(attempt ? 20 : 0);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        const bool settled = GetPixel(dc, r.right / 2, r.bottom / 2) == RGB(255, 255, 255) &&
                             !GetUpdateRect(window, nullptr, FALSE);
        ReleaseDC(window, dc);
        if (settled) return;
    }
}

// Marks the whole client area invalid and has the window thread paint it now.
void repaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    SendMessageA(window, WM_PAINT, 0, 0);
}

// The colours just inside each corner and at the middle of the client area, all equal to want.
void expectClientColour(HWND window, COLORREF want, const char* what) {
    const SIZE size = clientSize(window);
    ASSERT_GT(size.cx, 2);
    ASSERT_GT(size.cy, 2);
    const POINT points[] = {{0, 0},
                            {size.cx - 1, 0},
                            {0, size.cy - 1},
                            {size.cx - 1, size.cy - 1},
                            {size.cx / 2, size.cy / 2}};
    HDC dc = GetDC(window);
    for (const POINT& p : points)
        EXPECT_EQ(GetPixel(dc, p.x, p.y), want) << what << " at " << p.x << "," << p.y;
    ReleaseDC(window, dc);
}

TEST(Win32Window, AttachedWindowIsDrawnIntoButNeverOwned) {
    HWND caller = CreateWindowExA(0, "STATIC", "caller", WS_POPUP, 10, 10, 123, 77, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_TRUE(caller);
    {
        TestWindow attached(caller);
        EXPECT_EQ(attached.ok(), 1);
        EXPECT_EQ(attached.width(), 123);
        EXPECT_EQ(attached.height(), 77);
        EXPECT_EQ(attached.window(), caller);
        EXPECT_EQ(attached.nativeType(), 100);
        ASSERT_TRUE(attached.nativeData());
        EXPECT_TRUE(*static_cast<HDC*>(attached.nativeData())) << "a device context of its own";
        EXPECT_EQ(attached.createWindow(testClass, WS_OVERLAPPEDWINDOW, SW_SHOWNORMAL, 50, 50), 0);
        attached.closeWindow();
        EXPECT_TRUE(IsWindow(caller)) << "closeWindow leaves a caller's window alone";
        EXPECT_EQ(attached.window(), caller);
    }
    EXPECT_TRUE(IsWindow(caller)) << "destruction leaves a caller's window alone";
    DestroyWindow(caller);
}

TEST(Win32Window, OwnedWindowOpensOnItsOwnThreadAndClosesWithIt) {
    Watchdog watchdog(30000, "open and close");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.ok(), 1);
    EXPECT_FALSE(backEnd.window());
    const int threadsBefore = threadCount();
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(*static_cast<HDC*>(backEnd.nativeData()));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 200);
    EXPECT_EQ(outer.bottom - outer.top, 150);
    const DWORD windowThreadId = GetWindowThreadProcessId(window, nullptr);
    EXPECT_NE(windowThreadId, GetCurrentThreadId());
    if (threadsBefore > 0) {
        EXPECT_EQ(threadCount(), threadsBefore + 1);
    }

    // Resizing waits for the window thread; it must not deadlock and must take effect.
    EXPECT_EQ(backEnd.resizeWindow(260, 190), 1);
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 260);
    EXPECT_EQ(outer.bottom - outer.top, 190);

    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, windowThreadId);
    ASSERT_TRUE(thread);
    backEnd.closeWindow();
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0)
        << "closeWindow returned before the window thread ended";
    CloseHandle(thread);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(backEnd.window());
    EXPECT_FALSE(*static_cast<HDC*>(backEnd.nativeData()));
    EXPECT_EQ(backEnd.resizeWindow(100, 100), 0) << "no window to resize";
    backEnd.closeWindow(); // a second close does nothing
}

TEST(Win32Window, FailedCreationLeavesNoWindowThreadOrEvent) {
    Watchdog watchdog(30000, "failed creation");
    TestWindow backEnd;
    const int threadsBefore = threadCount();
    EXPECT_EQ(backEnd.open(100, 100, "NO_SUCH_WINDOW_CLASS"), 0)
        << "the creation handshake must end even when CreateWindowExA fails";
    EXPECT_FALSE(backEnd.window());
    EXPECT_EQ(backEnd.keyPressed(), ISoftware().keyPressed()) << "no window: the console";
    if (threadsBefore > 0) {
        EXPECT_EQ(threadCount(), threadsBefore);
    }
    EXPECT_EQ(backEnd.createWindow(nullptr, 0, 0, 10, 10), 0);
    ASSERT_EQ(backEnd.open(100, 100), 1) << "a later creation still works";
}

TEST(Win32Window, KeysQueueUntilReadAndOverflowDrops) {
    Watchdog watchdog(30000, "keys");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    EXPECT_EQ(backEnd.keyPressed(), 0);

    // SendMessageA returns after the window thread handled the key.
    SendMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(backEnd.keyPressed(), 1);
    EXPECT_EQ(backEnd.keyPressed(), 1) << "keyPressed never takes the key";
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(backEnd.readKey(), 1);
    EXPECT_EQ(backEnd.keyPressed(), 1) << "one key still queued";
    EXPECT_EQ(backEnd.readKey(), 1);
    EXPECT_EQ(backEnd.keyPressed(), 0);

    // Characters, system keys and mouse clicks get default handling and queue nothing.
    SendMessageA(window, WM_CHAR, 'a', 0);
    SendMessageA(window, WM_SYSKEYDOWN, VK_MENU, 0);
    SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(backEnd.keyPressed(), 0);

    for (int i = 0; i < 1030; ++i) SendMessageA(window, WM_KEYDOWN, 'K', 0);
    int read = 0;
    while (backEnd.keyPressed()) {
        ASSERT_EQ(backEnd.readKey(), 1);
        ++read;
        ASSERT_LE(read, 1030);
    }
    EXPECT_EQ(read, 1023) << "1030 keys without reads leave exactly 1023";

    // Keys still queued when the window is replaced stay readable in the next one.
    SendMessageA(window, WM_KEYDOWN, 'B', 0);
    ASSERT_EQ(backEnd.open(200, 150), 1);
    EXPECT_EQ(backEnd.keyPressed(), 1);
    EXPECT_EQ(backEnd.readKey(), 1) << "must not block: a key is queued";
    EXPECT_EQ(backEnd.keyPressed(), 0);
}

TEST(Win32Window, ReadKeyBlocksUntilAKeyArrives) {
    Watchdog watchdog(30000, "blocking readKey");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> posted{false};
        std::thread sender([&] {
            Sleep(round % 4 == 0 ? 50 : 0);
            posted = true;
            PostMessageA(window, WM_KEYDOWN, 'X', 0);
        });
        EXPECT_EQ(backEnd.readKey(), 1);
        EXPECT_TRUE(posted.load()) << "readKey returned before any key was sent";
        sender.join();
        EXPECT_EQ(backEnd.keyPressed(), 0) << "round " << round;
    }
    // A window that goes away ends the wait: no key can come any more.
    std::thread closer([&backEnd, window] {
        Sleep(50);
        backEnd.onWindowThread([window] { return DestroyWindow(window) != FALSE; });
    });
    EXPECT_EQ(backEnd.readKey(), 0);
    closer.join();
}

TEST(Win32Window, KeysFromSeveralThreadsWhileTheMainThreadPollsAndReads) {
    Watchdog watchdog(60000, "key stress");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    // Fewer keys than the queue holds, so none may be dropped however slow the reader is.
    constexpr int senders = 4, perSender = 250;
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s)
        threads.emplace_back([window, s] {
            for (int i = 0; i < perSender; ++i) {
                if (i % 2)
                    PostMessageA(window, WM_KEYDOWN, 'A' + s, 0);
                else
                    SendMessageA(window, WM_KEYDOWN, 'A' + s, 0);
            }
        });
    int read = 0;
    while (read < senders * perSender) {
        if (backEnd.keyPressed()) {
            ASSERT_EQ(backEnd.readKey(), 1);
            ++read;
        } else if (read % 3 == 0) {
            ASSERT_EQ(backEnd.readKey(), 1); // also block now and then
            ++read;
        }
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(read, senders * perSender);
    EXPECT_EQ(backEnd.keyPressed(), 0);
}

TEST(Win32Window, TitleIsKeptAndCarriedIntoLaterWindows) {
    Watchdog watchdog(30000, "title");
    TestWindow backEnd;
    char buffer[64] = "garbage";
    EXPECT_EQ(backEnd.getTitle(buffer), 1);
    EXPECT_STREQ(buffer, "") << "no title set yet";
    EXPECT_EQ(backEnd.setTitle("first"), 0) << "no window to show it";
    EXPECT_EQ(backEnd.getTitle(buffer), 1);
    EXPECT_STREQ(buffer, "first");
    EXPECT_EQ(backEnd.setTitle(nullptr), 0);
    EXPECT_EQ(backEnd.getTitle(nullptr), 0);
    backEnd.getTitle(buffer);
    EXPECT_STREQ(buffer, "first") << "a refused title changes nothing";

    ASSERT_EQ(backEnd.open(200, 150), 1);
    char shown[64] = {};
    GetWindowTextA(backEnd.window(), shown, sizeof shown);
    EXPECT_STREQ(shown, "first");
    EXPECT_EQ(backEnd.setTitle("second"), 1);
    GetWindowTextA(backEnd.window(), shown, sizeof shown);
    EXPECT_STREQ(shown, "second");
    ASSERT_EQ(backEnd.open(200, 150), 1);
    GetWindowTextA(backEnd.window(), shown, sizeof shown);
    EXPECT_STREQ(shown, "second") << "the title goes into a later window";
}

TEST(Win32Window, ModesAreCopiedOut) {
    struct Modes : TestWindow {
        using IWin32::addMode;
        using IWin32::clearModes;
        using IWin32::modeList;
    } backEnd;
    MODE mode;
    std::strcpy(mode.interfaceName, "GDI");
    for (int i = 1; i <= 3; ++i) {
        mode.width = 100 * i;
        ASSERT_TRUE(backEnd.addMode(mode));
    }
    List<MODE> out;
    out.append(new MODE); // replaced, not kept
    EXPECT_EQ(backEnd.getModes(out), 1);
    ASSERT_EQ(out.count(), 3);
    int expected = 100;
    out.forEach([&](const MODE& m) {
        EXPECT_EQ(m.width, expected);
        EXPECT_STREQ(m.interfaceName, "GDI");
        expected += 100;
    });
    EXPECT_EQ(backEnd.modeList().count(), 3) << "the back end keeps its own records";
    backEnd.clearModes();
    EXPECT_EQ(backEnd.getModes(out), 1);
    EXPECT_TRUE(out.empty());
}

TEST(Win32Window, PaintFillsBlackWithoutAPaintSurface) {
    Watchdog watchdog(30000, "paint");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    fillWhite(window);
    expectClientColour(window, RGB(255, 255, 255), "before painting");
    repaint(window);
    expectClientColour(window, RGB(0, 0, 0), "no paint surface");

    // A paint surface whose copy fails (empty, and no display surface) still paints black.
    Surface empty;
    backEnd.setPaintSurface(&empty, Rect(0, 0, 1, 1), Rect(0, 0, 1, 1));
    EXPECT_EQ(backEnd.paintSurface(), &empty);
    fillWhite(window);
    repaint(window);
    expectClientColour(window, RGB(0, 0, 0), "failing copy");
    EXPECT_EQ(backEnd.resizeWindow(220, 160), 1);
    EXPECT_FALSE(backEnd.paintSurface()) << "resizing stops repainting the old surface";
}

TEST(Win32Window, PaintSurfaceIsRepaintedUntilRemoved) {
    Watchdog watchdog(30000, "paint surface");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(200, 150), 1);
    HWND window = backEnd.window();
    const Format format(ARGB8888);
    Surface display(16, 8, format, KIND_MEMORY, TOP_DOWN, -1, -1);
    Surface picture(16, 8, format, KIND_MEMORY, TOP_DOWN, -1, -1);
    ASSERT_TRUE(display.ok());
    ASSERT_TRUE(picture.ok());
    uint8_t* pixels = static_cast<uint8_t*>(picture.lock(1));
    ASSERT_TRUE(pixels);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            reinterpret_cast<uint32_t*>(pixels + y * picture.pitch())[x] = 0xff00ff00u + x + y;
    picture.unlock();
    backEnd.display = &display;

    backEnd.setPaintSurface(&picture, picture.rect(), picture.rect());
    fillWhite(window);
    repaint(window);
    expectClientColour(window, RGB(255, 255, 255), "a repainted surface is not filled black");
    const uint8_t* shown = static_cast<const uint8_t*>(display.lock(1));
    ASSERT_TRUE(shown);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(shown + 7 * display.pitch())[15],
              0xff00ff00u + 15 + 7)
        << "WM_PAINT copies the paint surface onto the display surface";
    display.unlock();

    EXPECT_EQ(backEnd.removeSurface(&picture), 0) << "never registered with this back end";
    EXPECT_FALSE(backEnd.paintSurface());
    repaint(window);
    expectClientColour(window, RGB(0, 0, 0), "after removeSurface");
    backEnd.display = nullptr;
}

TEST(Win32Window, OpenAndCloseRepeatedlyLeavesNothingBehind) {
    Watchdog watchdog(180000, "open/close loop");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(120, 90), 1); // warm up: first-window allocations are not leaks
    backEnd.close();
    const int threadsBefore = threadCount();
    const uintptr_t handlesBefore = handleCount();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(backEnd.open(120 + i % 7, 90), 1) << "round " << i;
        HWND window = backEnd.window();
        // Traffic for the window thread while the window goes away.
        PostMessageA(window, WM_KEYDOWN, 'Q', 0);
        InvalidateRect(window, nullptr, FALSE);
        if (i % 10 == 0) backEnd.resizeWindow(130, 100);
        if (i % 2) backEnd.close(); // else the next open closes it
    }
    backEnd.close();
    while (backEnd.keyPressed()) backEnd.readKey();
    if (threadsBefore > 0) {
        EXPECT_EQ(threadCount(), threadsBefore) << "window threads left";
    }
    if (handlesBefore > 0) {
        EXPECT_LE(handleCount(), handlesBefore + 2) << "handles left";
    }
}

TEST(Win32Window, CloseEndsEvenWhenTheWindowQueueIsFlooded) {
    Watchdog watchdog(120000, "close with a flooded queue");
    TestWindow backEnd;
    ASSERT_EQ(backEnd.open(120, 90), 1);
    HWND window = backEnd.window();
    // The window thread blocks on keyLock in the first message while its queue fills past
    // Windows' limit of 10000 posted messages, so the WM_DESTROY post can be refused.
    backEnd.enterKeyLock();
    PostMessageA(window, WM_KEYDOWN, 'F', 0);
    int posted = 0;
    while (posted < 12000 && PostMessageA(window, WM_USER, 0, 0)) ++posted;
    backEnd.leaveKeyLock();
    backEnd.closeWindow();
    EXPECT_FALSE(IsWindow(window));
}

// The application's thread waits for windowLock only up to the hand-over limit: held by another
// thread, the operations that need it fail in time, and work again once it is free.
TEST(Win32Window, OperationsNeedingTheWindowLockFailInTimeWhileItIsHeld) {
    Watchdog watchdog(60000, "held window lock");
    struct Case {
        const char* name;
        bool (*operation)(TestWindow&);
    } cases[] = {
        {"resizeWindow", [](TestWindow& w) { return w.resizeWindow(220, 160) != 0; }},
        {"closeWindow", [](TestWindow& w) { return w.closeWindow(); }},
    };
    for (const Case& c : cases) {
        TestWindow backEnd;
        ASSERT_EQ(backEnd.open(200, 150), 1) << c.name;
        backEnd.handOverLimit = 300;
        std::atomic<bool> held{false}, done{false};
        std::thread holder([&] {
            backEnd.enterWindowLock();
            held = true;
            while (!done) Sleep(10);
            backEnd.leaveWindowLock();
        });
        while (!held) Sleep(1);
        const ULONGLONG start = GetTickCount64();
        const bool succeeded = c.operation(backEnd);
        const ULONGLONG took = GetTickCount64() - start;
        done = true;
        holder.join();
        EXPECT_FALSE(succeeded) << c.name << " with the lock held elsewhere";
        EXPECT_LT(took, 5000u) << c.name << " waited past its limit";
        EXPECT_TRUE(c.operation(backEnd)) << c.name << " once the lock is free";
    }
}

// WM_CLOSE ends the process with status 0 while the application's thread is busy, without
// running static destructors under it (one that runs would change the status): at the
// application's next key check, or from the window thread when none comes.
class EndingWindow : public TestWindow {
  public:
    explicit EndingWindow(bool windowThreadEnds) : byWindowThread(windowThreadEnds) {}

  protected:
    // Called only when the window thread ends the process: a distinct status when it should not.
    void endingOnClose() override {
        if (!byWindowThread) std::_Exit(6);
    }

  private:
    bool byWindowThread;
};

TEST(Win32WindowDeathTest, CloseMessageEndsTheProcessWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool checksKeys : {true, false}) {
        EXPECT_EXIT(
            {
                struct NotAtClose {
                    ~NotAtClose() { std::_Exit(9); }
                };
                static NotAtClose staticObject;
                // The application's back end, alive until the process ends as PTC's would be.
                TestWindow* application = new EndingWindow(!checksKeys);
                if (!application->open(200, 150)) std::_Exit(7);
                HWND window = application->window();
                std::thread closer([window] {
                    Sleep(100);
                    PostMessageA(window, WM_CLOSE, 0, 0);
                });
                closer.detach();
                const ULONGLONG start = GetTickCount64();
                for (unsigned i = 0;; ++i) {
                    std::vector<int> scratch(64 + i % 512, int(i));
                    if (checksKeys && application->keyPressed()) application->readKey();
                    // Far past the window thread's own limit.
                    if (GetTickCount64() - start > 15000) std::_Exit(8);
                }
            },
            ::testing::ExitedWithCode(0), "")
            << (checksKeys ? "checking keys" : "never checking keys");
    }
}

} // namespace
