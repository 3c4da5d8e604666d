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
// blanks, a colon or nothing. Only the first switch counts; a null line is an empty one.
ScreensaverSwitch readSwitch(const char* commandTail);
