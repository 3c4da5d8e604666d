// The X11 back end on private X servers: what it shows, read back from the server, its keys, and
// how the process ends when the window manager or the server says so.
#include "backends/x11/X11.h"
#include "display/Surface.h"
#include "front/PTC.h"

// Before Xlib, whose macros (None, Bool) would change its names.
#include <gtest/gtest.h>

#include "backends/x11/Errors.h"
#include "support/PrivateXServer.h"
#include "support/XClient.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A test picture whose colours every server depth shows exactly (the low bits a 16-bit server
// drops are zero), different at every pixel of a small picture.
uint32_t patternColour(int x, int y) {
    return uint32_t(x * 8 & 0xF8) << 16 | uint32_t(y * 4 & 0xFC) << 8 |
           uint32_t((x + y) * 8 & 0xF8);
}

// The pixel value a server of this depth holds for an 0xRRGGBB colour, from the layouts alone.
uint32_t serverPixel(int depth, uint32_t colour) {
    if (depth == 24) return colour & 0xFFFFFF;
    return (colour >> 8 & 0xF800) | (colour >> 5 & 0x7E0) | (colour >> 3 & 0x1F);
}

// owner: the PTC or the back end the surface is made for.
template <class Owner>
std::unique_ptr<Surface> patternSurface(Owner&& owner, int width, int height) {
    auto surface = std::make_unique<Surface>(std::forward<Owner>(owner), width, height,
                                             Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    auto* pixels = static_cast<uint8_t*>(surface->lock(1));
    if (!pixels) return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(pixels + ptrdiff_t(y) * surface->pitch())[x] =
                0xFF000000u | patternColour(x, y);
    surface->unlock();
    return surface;
}

struct Segment {
    long mode;     // permissions and state, SHM_DEST once marked for removal
    long attaches; // processes that have it attached
};

// System V shared memory segments this process made that still exist.
std::vector<Segment> sharedSegmentList() {
    std::ifstream list("/proc/sysvipc/shm");
    std::string line;
    std::getline(list, line); // the heading
    std::vector<Segment> made;
    while (std::getline(list, line)) {
        // key shmid perms(octal) size cpid lpid nattch ...
        std::istringstream fields(line);
        long key, id, size, creator = 0, last;
        Segment segment{};
        fields >> key >> id >> std::oct >> segment.mode >> std::dec >> size >> creator >> last >>
            segment.attaches;
        if (creator == long(getpid())) made.push_back(segment);
    }
    return made;
}

int sharedSegments() {
    return int(sharedSegmentList().size());
}

struct Server {
    int depth;
    bool sharedMemory;
};

// Printed into the test names, which must not change from run to run.
void PrintTo(const Server& s, std::ostream* out) {
    *out << s.depth << " bits" << (s.sharedMemory ? ", shared memory" : "");
}

std::string serverName(const ::testing::TestParamInfo<Server>& info) {
    return std::to_string(info.param.depth) + (info.param.sharedMemory ? "BitShared" : "BitPlain");
}

class X11Display : public ::testing::TestWithParam<Server> {
  protected:
    // 700x500 shows a 320x200 display twice over, at (30, 50).
    PrivateXServer server{GetParam().depth, 700, 500, GetParam().sharedMemory};

    void SetUp() override { ASSERT_TRUE(server.ok()) << "Xvfb did not start"; }

    // The pattern scaled by scale in the w x h area at (x, y) of a read area, black elsewhere.
    std::vector<uint32_t> expected(int readWidth, int readHeight, int x, int y, int w, int h,
                                   int scale) {
        std::vector<uint32_t> pixels;
        for (int row = 0; row < readHeight; ++row)
            for (int column = 0; column < readWidth; ++column) {
                const bool inside = column >= x && column < x + w && row >= y && row < y + h;
                pixels.push_back(
                    inside ? serverPixel(GetParam().depth,
                                         patternColour((column - x) / scale, (row - y) / scale))
                           : 0);
            }
        return pixels;
    }

    // The server draws a put when it gets to it: waits up to two seconds for the window's pixels
    // to be these, and reports the first that are not.
    void expectShown(XClient& client, Window window, int readWidth, int readHeight,
                     const std::vector<uint32_t>& want, const char* what) {
        std::vector<uint32_t> got;
        waitUntil(2000, [&] {
            got = client.pixels(window, 0, 0, readWidth, readHeight);
            return got == want;
        });
        ASSERT_EQ(got.size(), want.size()) << what;
        int wrong = 0;
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i] != want[i] && ++wrong <= 3)
                ADD_FAILURE() << what << ": pixel " << i % readWidth << "," << i / readWidth
                              << " is " << std::hex << got[i] << ", not " << want[i];
        EXPECT_EQ(wrong, 0) << what;
    }
};

TEST_P(X11Display, ShowsExactlyInAWindowAndFullScreen) {
    XClient client;
    ASSERT_TRUE(client.ok());
    PTC display;
    ASSERT_EQ(display.init(64, 48, FUZZY32, WINDOW_OUTPUT, -1, -1), 1);
    display.setTitle("pattern");
    EXPECT_EQ(display.backEnd()->bits(), GetParam().depth == 24 ? 32 : 16);
    const Window window = client.find("pattern");
    ASSERT_NE(window, 0u) << "a window titled as setTitle says";
    auto picture = patternSurface(display, 64, 48);
    ASSERT_TRUE(picture && picture->update());
    const std::vector<uint32_t> inWindow = expected(64, 48, 0, 0, 64, 48, 1);
    expectShown(client, window, 64, 48, inWindow, "window");
    if (GetParam().sharedMemory) {
        // Marked for removal while in use, so not even a kill leaves it behind.
        const std::vector<Segment> segments = sharedSegmentList();
        ASSERT_EQ(segments.size(), 1u) << "the image's segment";
        EXPECT_NE(segments[0].mode & SHM_DEST, 0) << "not marked for removal";
        EXPECT_EQ(segments[0].attaches, 2) << "not attached by this process and the server";
    }

    // Covered and uncovered: the exposure shows the last frame again.
    const Window cover = client.makeWindow(40, 30);
    ASSERT_NE(client.pixels(window, 0, 0, 64, 48), inWindow) << "the cover hides the frame";
    XDestroyWindow(client.display, cover);
    expectShown(client, window, 64, 48, inWindow, "after an exposure");

    ASSERT_EQ(display.init(320, 200, FUZZY32, FULLSCREEN_OUTPUT, -1, -1), 1);
    EXPECT_EQ(display.width(), 320) << "the size asked for, as after a mode change";
    EXPECT_EQ(display.height(), 200);
    EXPECT_EQ(client.find("pattern"), 0u) << "the window went with the earlier display";
    picture = patternSurface(display, 320, 200);
    ASSERT_TRUE(picture && picture->update());
    expectShown(client, client.root(), 700, 500, expected(700, 500, 30, 50, 640, 400, 2),
                "full screen");
}

TEST_P(X11Display, DrawsStretchedIntoAGivenWindowUntilItGoes) {
    XClient client;
    ASSERT_TRUE(client.ok());
    const Window given = client.makeWindow(128, 96);
    WindowHandle handle = windowHandleOf(given);
    PTC display;
    ASSERT_EQ(display.init("X11", handle, 32, 24, FUZZY32, WINDOW_OUTPUT, -1, -1), 1);
    EXPECT_EQ(display.backEnd()->window(), handle);
    auto picture = patternSurface(display, 32, 24);
    ASSERT_TRUE(picture && picture->update());
    expectShown(client, given, 128, 96, expected(128, 96, 0, 0, 128, 96, 4),
                "stretched four times");
    EXPECT_EQ(display.keyPressed(), 0) << "a given window's keys are its owner's";

    XDestroyWindow(client.display, given);
    XSync(client.display, False);
    EXPECT_TRUE(waitUntil(2000, [&] { return !display.isOpen(); })) << "ok once it went";
    EXPECT_FALSE(picture->update());
}

INSTANTIATE_TEST_SUITE_P(Depths, X11Display,
                         ::testing::Values(Server{24, true}, Server{24, false}, Server{16, true},
                                           Server{16, false}),
                         serverName);

class X11Window : public ::testing::Test {
  protected:
    PrivateXServer server{24, 640, 480, true};
    void SetUp() override { ASSERT_TRUE(server.ok()) << "Xvfb did not start"; }
};

TEST_F(X11Window, OpeningAndClosingAHundredTimesLeavesNothing) {
    XClient client;
    ASSERT_TRUE(client.ok());
    const int windows = client.windowCount(), segments = sharedSegments();
    PTC display;
    for (int i = 0; i < 100; ++i)
        for (int32_t output : {WINDOW_OUTPUT, FULLSCREEN_OUTPUT}) {
            ASSERT_EQ(display.init(320, 200, FUZZY32, output, -1, -1), 1) << i;
            auto picture = patternSurface(display, 320, 200);
            ASSERT_TRUE(picture && picture->update()) << i;
            picture.reset();
            display.close();
        }
    EXPECT_EQ(client.windowCount(), windows) << "windows left on the server";
    EXPECT_EQ(sharedSegments(), segments) << "shared memory left";
}

TEST_F(X11Window, KeysAreQueuedAndReadInOrder) {
    XClient client;
    ASSERT_TRUE(client.ok());
    PTC display;
    ASSERT_EQ(display.init(320, 200, FUZZY32, WINDOW_OUTPUT, -1, -1), 1);
    const Window window = windowNumberOf(display.backEnd()->window());
    EXPECT_EQ(display.keyPressed(), 0);
    client.pressKey(window);
    client.pressKey(window);
    ASSERT_TRUE(waitUntil(2000, [&] { return display.keyPressed() != 0; }));
    EXPECT_EQ(display.keyPressed(), 1) << "a key test takes no key";
    EXPECT_EQ(display.backEnd()->readKey(), 1);
    ASSERT_TRUE(waitUntil(2000, [&] { return display.keyPressed() != 0; })) << "the second key";
    EXPECT_EQ(display.backEnd()->readKey(), 1);
    EXPECT_EQ(display.keyPressed(), 0);
    // A read waits for the key.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        XClient other;
        other.pressKey(window);
    });
    EXPECT_EQ(display.backEnd()->readKey(), 1);
    later.join();
}

TEST_F(X11Window, AnEventThreadThatDoesNotStopLeavesTheBackEndClosedAndReopenable) {
    XClient client;
    ASSERT_TRUE(client.ok());
    const int windows = client.windowCount();
    IX11 backEnd(IX11::Role::WINDOW, nullptr);
    ASSERT_EQ(backEnd.open(64, 48, FUZZY32, -1, -1, -1), 1);
    Display* first = *static_cast<Display**>(backEnd.nativeData());
    // Xlib's lock of the connection, held by this thread, stops the event thread at its next
    // look for events, so it cannot end within its limit.
    XLockDisplay(first);
    backEnd.close();
    EXPECT_EQ(backEnd.ok(), 0) << "closed";
    EXPECT_EQ(backEnd.window(), nullptr);
    XUnlockDisplay(first);

    backEnd.setTitle("reopened");
    ASSERT_EQ(backEnd.open(64, 48, FUZZY32, -1, -1, -1), 1) << "a new connection";
    EXPECT_EQ(backEnd.ok(), 1);
    const Window window = client.find("reopened");
    ASSERT_NE(window, 0u);
    auto picture = patternSurface(static_cast<Interface*>(&backEnd), 64, 48);
    ASSERT_TRUE(picture && picture->copy(*backEnd.displaySurface(), 0));
    std::vector<uint32_t> want;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) want.push_back(serverPixel(24, patternColour(x, y)));
    EXPECT_TRUE(waitUntil(2000, [&] { return client.pixels(window, 0, 0, 64, 48) == want; }))
        << "the reopened window does not show the picture";
    // The thread left behind ended once let go, and closed its connection and window.
    EXPECT_TRUE(waitUntil(2000, [&] { return client.windowCount() == windows + 1; }))
        << client.windowCount() - windows << " windows, not only the reopened one";
    picture.reset();
    backEnd.close();
    EXPECT_EQ(client.windowCount(), windows);
}

// Xlib has one error handler for the process: the back end's must neither hide the errors of
// the program's own connections nor count them as its own.
TEST_F(X11Window, ErrorsOfOtherConnectionsAreNeitherHiddenNorCounted) {
    constexpr Window noWindow = 0x7FFFFFF0; // an id no client of a fresh server has
    EXPECT_EXIT(
        {
            PTC display;
            if (display.init(64, 48, FUZZY32, WINDOW_OUTPUT, -1, -1) != 1) std::_Exit(3);
            // Xlib's own handling, as a program with X code of its own has.
            Display* other = XOpenDisplay(nullptr);
            XMapWindow(other, noWindow);
            XSync(other, False);
            std::_Exit(4); // the error was hidden
        },
        // Xlib's handler prints the error and exits (with 1, or a sanitizer's own status).
        [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 4; }, "BadWindow");

    XClient client;
    ASSERT_TRUE(client.ok());
    IX11 backEnd(IX11::Role::WINDOW, nullptr);
    ASSERT_EQ(backEnd.open(64, 48, FUZZY32, -1, -1, -1), 1);
    Display* own = *static_cast<Display**>(backEnd.nativeData());
    XMapWindow(client.display, noWindow);
    XSync(client.display, False);
    EXPECT_EQ(x11::takeErrors(own), 0) << "another connection's error";
    XMapWindow(own, noWindow);
    EXPECT_EQ(x11::takeErrors(own), 1) << "the back end's own error";
}

// The process ends as the window manager or the server asks: run in a child process.
using X11Ending = X11Window;

void openAndWait(bool callingIn, const std::function<void(Window)>& ask) {
    PTC display;
    if (display.init(320, 200, FUZZY32, WINDOW_OUTPUT, -1, -1) != 1) std::_Exit(3);
    ask(windowNumberOf(display.backEnd()->window()));
    for (int i = 0; i < 500; ++i) {
        if (callingIn) display.keyPressed();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::_Exit(4); // still running after five seconds
}

TEST_F(X11Ending, TheWindowManagersCloseEndsWithStatusZero) {
    const auto close = [](Window window) {
        XClient manager;
        manager.askToClose(window);
    };
    EXPECT_EXIT(openAndWait(true, close), ::testing::ExitedWithCode(0), "")
        << "ended at the next key test";
    EXPECT_EXIT(openAndWait(false, close), ::testing::ExitedWithCode(0), "")
        << "ended by the event thread when the program does not call";
}

TEST_F(X11Ending, ALostConnectionEndsWithAMessageAndStatusOne) {
    const auto cut = [](Window window) {
        XClient other;
        XKillClient(other.display, window); // the server closes the program's connection
        XSync(other.display, False);
    };
    EXPECT_EXIT(openAndWait(true, cut), ::testing::ExitedWithCode(1),
                "ptc error: lost the connection to the X display :");
}

} // namespace
