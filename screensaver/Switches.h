#pragma once
#include <cstdint>

// What Windows asks of a screensaver on its command line.
enum class ScreensaverAction {
    RUN,       // no switch, /s, or a switch this program does not know: the full-screen run
    PREVIEW,   // /p WINDOW: draw into that window (the settings page's small picture)
    CONFIGURE, // /c or /c:WINDOW: the Settings button
    PASSWORD,  // /a WINDOW: the old password change, which this program does not offer
};

struct ScreensaverSwitch {
    ScreensaverAction action = ScreensaverAction::RUN;
    uint64_t window = 0; // the window handle given, 0 when none could be read
};

// Reads the command line after the program's name as screensavers do: blanks first, then / or -
// and one letter in either case, then the window handle as unsigned decimal digits after
// blanks, a colon or nothing. Only the first switch counts; a null line is an empty one. A
// handle wider than 32 bits is no handle: window handles are 32-bit significant even on 64-bit
// Windows, which would truncate the number to some other window.
ScreensaverSwitch readSwitch(const char* commandTail);

// What the native program is asked to draw into.
enum class NativeTarget {
    FULL_SCREEN, // no window named: the program's own display, as on Windows
    WINDOW,      // -window-id ID, or the window XScreenSaver names in XSCREENSAVER_WINDOW
    ROOT,        // -root without XSCREENSAVER_WINDOW: the screen's root window
    BAD_WINDOW,  // a window id that names no window: missing, not a number, 0 or too wide
};

struct NativeSwitches {
    NativeTarget target = NativeTarget::FULL_SCREEN;
    uint64_t window = 0;           // for WINDOW
    const char* problem = nullptr; // for BAD_WINDOW: what is wrong with the id, for the user
};

// Reads the native command line as XScreenSaver's programs do: -root, or -window-id ID with the
// id in decimal or 0x hex (either with one dash or two). xscreensaverWindow is the environment's
// XSCREENSAVER_WINDOW (null when unset), where XScreenSaver names the window it made for the
// program it runs with -root; an explicit -window-id wins over it. Other arguments are passed by.
NativeSwitches readNativeSwitches(int argc, const char* const* argv,
                                  const char* xscreensaverWindow);
