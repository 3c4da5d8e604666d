#include "screensaver/Switches.h"

#include <cstdint>

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

const char* skipBlanks(const char* text) {
    while (blank(*text)) ++text;
    return text;
}

// Digits up to the first other character; 0 (no window) when there are none or they overflow.
uint64_t windowNumber(const char* text) {
    uint64_t value = 0;
    for (; digit(*text); ++text) {
        const uint64_t d = uint64_t(*text - '0');
        if (value > (UINT64_MAX - d) / 10) return 0;
        value = value * 10 + d;
    }
    return value;
}

} // namespace

ScreensaverSwitch readSwitch(const char* commandTail) {
    ScreensaverSwitch chosen;
    if (!commandTail) return chosen;
    const char* p = skipBlanks(commandTail);
    if (*p != '/' && *p != '-') return chosen;
    if (p[1] == '\0') return chosen;
    const char letter = char(p[1] | 0x20); // ASCII letters to lower case
    p += 2;
    // "/preview" or "/save" is a word this program does not know, not a switch with a tail.
    if (!(*p == '\0' || blank(*p) || *p == ':' || digit(*p))) return chosen;
    switch (letter) {
    case 'p':
        chosen.action = ScreensaverAction::PREVIEW;
        break;
    case 'c':
        chosen.action = ScreensaverAction::CONFIGURE;
        break;
    case 'a':
        chosen.action = ScreensaverAction::PASSWORD;
        break;
    default: // 's' and the switches this program does not know
        return chosen;
    }
    p = skipBlanks(p);
    if (*p == ':') p = skipBlanks(p + 1);
    chosen.window = windowNumber(p);
    return chosen;
}
