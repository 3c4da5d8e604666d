#include "backends/Dummy.h"
#include "front/PTC.h"
#include "screensaver/Screensaver.h"
#include "screensaver/Switches.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// --- The command line ----------------------------------------------------------------------

TEST(Switches, ReadAsWindowsScreensaversDo) {
    using A = ScreensaverAction;
    struct Case {
        const char* line;
        ScreensaverAction action;
        uint64_t window;
        const char* why;
    } cases[] = {
        {nullptr, A::RUN, 0, "no command line at all"},
        {"", A::RUN, 0, "a plain start"},
        {"/s", A::RUN, 0, "run full screen"},
        {"  \t/S  ", A::RUN, 0, "either case, blanks around it"},
        {"/p 1234", A::PREVIEW, 1234, "the settings page's preview"},
        {"/P:1234", A::PREVIEW, 1234, "a colon before the handle"},
        {"-p \t 77", A::PREVIEW, 77, "a dash, several blanks"},
        {"/p5", A::PREVIEW, 5, "the handle straight after the letter"},
        {"/p 12 /s", A::PREVIEW, 12, "only the first switch counts"},
        {"/p 12x", A::PREVIEW, 12, "the handle ends at the first other character"},
        {"/p", A::PREVIEW, 0, "no handle"},
        {"/p x", A::PREVIEW, 0, "no digits"},
        {"/p 4294967295", A::PREVIEW, UINT32_MAX, "the largest handle: 32 bits are significant"},
        {"/p 4294967296", A::PREVIEW, 0, "wider than 32 bits: no window, not a truncated one"},
        {"/p 18446744073709551615", A::PREVIEW, 0, "the largest 64-bit number: no window"},
        {"/p 18446744073709551616", A::PREVIEW, 0, "past 64 bits: no window"},
        {"/c:4294967296", A::CONFIGURE, 0, "the Settings button's owner likewise"},
        {"/c", A::CONFIGURE, 0, "the Settings button"},
        {"/C:4242", A::CONFIGURE, 4242, "the Settings button with its owner"},
        {"/a 10", A::PASSWORD, 10, "the old password change"},
        {"/x", A::RUN, 0, "an unknown switch runs as today"},
        {"/preview 5", A::RUN, 0, "a word is no switch"},
        {"p 5", A::RUN, 0, "no switch character"},
    };
    for (const Case& c : cases) {
        const ScreensaverSwitch got = readSwitch(c.line);
        EXPECT_EQ(got.action, c.action) << (c.line ? c.line : "(null)") << ": " << c.why;
        EXPECT_EQ(got.window, c.window) << (c.line ? c.line : "(null)") << ": " << c.why;
    }
}

TEST(Switches, ReadTheNativeCommandLineAndXScreenSaversWindow) {
    using T = NativeTarget;
    // What the program says of a bad window id.
    const char* const missing = "-window-id needs a window id after it";
    const char* const number = "the window id must be a number, decimal or 0x hex";
    const char* const zero = "the window id is 0, which names no window";
    const char* const wide = "the window id is too large: X window ids have 32 bits";
    struct Case {
        std::vector<const char*> arguments; // after the program's name
        const char* environment;            // XSCREENSAVER_WINDOW, null when unset
        NativeTarget target;
        uint64_t window;
        const char* why;
        const char* problem = nullptr;
    } cases[] = {
        {{}, nullptr, T::FULL_SCREEN, 0, "a plain start takes the screen"},
        {{"-root"}, nullptr, T::ROOT, 0, "the root window"},
        {{"--root"}, nullptr, T::ROOT, 0, "two dashes"},
        {{"-root"}, "0x1400007", T::WINDOW, 0x1400007, "XScreenSaver's window, in hex"},
        {{}, "12345", T::WINDOW, 12345, "the variable alone, in decimal"},
        {{"-window-id", "0x2A"}, nullptr, T::WINDOW, 42, "a given window"},
        {{"--window-id", "77", "-root"}, nullptr, T::WINDOW, 77, "a given window wins over -root"},
        {{"-window-id", "9"}, "0x10", T::WINDOW, 9, "and over the variable"},
        {{"-window-id", "0XfF"}, nullptr, T::WINDOW, 255, "hex digits in either case"},
        {{"-window-id"}, nullptr, T::BAD_WINDOW, 0, "no id", missing},
        {{"-window-id", "12ab"}, nullptr, T::BAD_WINDOW, 0, "not a number", number},
        {{"-window-id", ""}, nullptr, T::BAD_WINDOW, 0, "an empty argument", number},
        {{"-window-id", "0x"}, nullptr, T::BAD_WINDOW, 0, "no hex digits", number},
        {{"-window-id", "0"}, nullptr, T::BAD_WINDOW, 0, "a number, but no window", zero},
        {{"-window-id", "0x0"}, nullptr, T::BAD_WINDOW, 0, "0 in hex likewise", zero},
        {{"-window-id", "4294967295"}, nullptr, T::WINDOW, UINT32_MAX, "the widest id"},
        {{"-window-id", "4294967296"}, nullptr, T::BAD_WINDOW, 0, "ids fit 32 bits", wide},
        {{"-window-id", "0x123456789abcdef01"}, nullptr, T::BAD_WINDOW, 0, "past 64 bits", wide},
        {{}, "junk", T::BAD_WINDOW, 0, "a spoilt variable", number},
        {{"-fps", "-window"}, nullptr, T::FULL_SCREEN, 0, "other arguments pass by"},
        {{"-rootx"}, "", T::FULL_SCREEN, 0, "a longer word; an empty variable is unset"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"kelmor"};
        std::string line;
        for (const char* a : c.arguments) {
            argv.push_back(a);
            line += std::string(a) + " ";
        }
        const NativeSwitches got = readNativeSwitches(int(argv.size()), argv.data(), c.environment);
        EXPECT_EQ(got.target, c.target) << line << ": " << c.why;
        EXPECT_EQ(got.window, c.window) << line << ": " << c.why;
        EXPECT_STREQ(got.problem, c.problem) << line << ": " << c.why;
    }
}

// --- The entry routine -----------------------------------------------------------------------

// What the display does with each of the program's tries, and what happens once it runs.
enum TryAnswer { REFUSE, OPEN, OPEN_NOT_OK }; // OPEN_NOT_OK: opens, then reports ok 0
struct Scenario {
    TryAnswer tries[4]; // per entry of displayTries
    int keyAfter;       // key tests answered "no key" before the first "key"
    int failingFrame;   // frame number (from 1) that fails; 0 for none
};
Scenario* scenario;
std::string* trail;

struct ScenarioDisplay : IDummy {
    int32_t openWidth = 0, openHeight = 0;
    int keyTests = 0;
    TryAnswer opened = REFUSE;

    int ok() override { return opened != OPEN_NOT_OK; }
    int open(int32_t w, int32_t h, int32_t code, int32_t output, int32_t second,
             int32_t third) override {
        for (int i = 0; i < 4; ++i) {
            const DisplayTry& t = displayTries[i];
            if (scenario->tries[i] != REFUSE && t.width == w && t.height == h &&
                t.output == output && code == FUZZY32 && second == -1 && third == -1) {
                openWidth = w;
                openHeight = h;
                opened = scenario->tries[i];
                return 1;
            }
        }
        return 0;
    }
    int width() override { return openWidth; }
    int height() override { return openHeight; }
    int keyPressed() override { return ++keyTests > scenario->keyAfter ? 1 : 0; }
    int setTitle(const char* title) override {
        *trail += std::string("title ") + title + "; ";
        return 1;
    }
};

Interface* scenarioFactory(int index, WindowHandle&) {
    return index == 0 ? new ScenarioDisplay : nullptr;
}

struct RecordedFrames : Frames {
    int frames = 0;
    bool setup(PTC&, int32_t width, int32_t height, bool upscale) override {
        *trail += "setup " + std::to_string(width) + "x" + std::to_string(height) +
                  (upscale ? " doubled; " : "; ");
        return true;
    }
    bool frame(PTC&, bool upscale, uint8_t rowOffset) override {
        ++frames;
        *trail += std::string("frame ") + (upscale ? "doubled " : "") + "from row " +
                  std::to_string(rowOffset) + "; ";
        return frames != scenario->failingFrame;
    }
    void teardown() override { *trail += "teardown"; }
};

TEST(Program, OpensTheFirstTryThatStaysOkAndRunsUntilAKey) {
    struct Case {
        Scenario scenario;
        int status;
        const char* trail;
        const char* why;
    } cases[] = {
        {{{OPEN, OPEN, OPEN, OPEN}, 1, 0},
         0,
         "setup 320x200; frame from row 0; teardown",
         "320x200 full screen first, drawn as it is"},
        {{{REFUSE, OPEN, OPEN, OPEN}, 1, 0},
         0,
         "setup 640x400 doubled; frame doubled from row 0; teardown",
         "640x400: doubled from the top row"},
        {{{REFUSE, REFUSE, OPEN, OPEN}, 1, 0},
         0,
         "setup 640x480 doubled; frame doubled from row 40; teardown",
         "640x480: the doubled rows centred"},
        {{{REFUSE, REFUSE, REFUSE, OPEN}, 2, 0},
         0,
         "setup 320x200; frame from row 0; frame from row 0; teardown",
         "the window last"},
        {{{OPEN_NOT_OK, OPEN, OPEN, OPEN}, 1, 0},
         0,
         "setup 640x400 doubled; frame doubled from row 0; teardown",
         "a display that opens but is not ok is a failed try"},
        {{{OPEN, OPEN, OPEN, OPEN}, 0, 0},
         0,
         "setup 320x200; teardown",
         "a key already waiting: no frame, a normal end"},
        {{{OPEN, OPEN, OPEN, OPEN}, 5, 3},
         1,
         "setup 320x200; frame from row 0; frame from row 0; frame from row 0; ",
         "a failing frame ends it with 1, without the normal tear-down"},
    };
    const PTC::Factory previous = PTC::setFactory(scenarioFactory);
    for (Case& c : cases) {
        std::string got;
        scenario = &c.scenario;
        trail = &got;
        RecordedFrames frames;
        EXPECT_EQ(runScreensaver(frames), c.status) << c.why;
        EXPECT_EQ(got, std::string("title Kelmor screensaver; ") + c.trail) << c.why;
    }
    PTC::setFactory(previous);
    scenario = nullptr;
    trail = nullptr;
}

} // namespace
