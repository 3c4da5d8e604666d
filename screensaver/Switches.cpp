#include "screensaver/Switches.h"

#include <cstdint>
#include <cstring>

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

// Digits up to the first other character; 0 (no window) when there are none or they are wider
// than a window handle's 32 significant bits.
uint64_t windowNumber(const char* text) {
    uint64_t value = 0;
    for (; digit(*text); ++text) {
        value = value * 10 + uint64_t(*text - '0');
        if (value > UINT32_MAX) return 0;
    }
    return value;
}

// A whole argument as an X window id, decimal or hex after 0x, into window; otherwise what is
// wrong with it (ids fit 32 bits, and 0 is no window).
const char* readXWindowId(const char* text, uint64_t& window) {
    window = 0;
    if (!text) return "-window-id needs a window id after it";
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const uint64_t base = hex ? 16 : 10;
    if (hex) text += 2;
    if (!*text) return "the window id must be a number, decimal or 0x hex";
    uint64_t value = 0;
    bool tooWide = false;
    for (; *text; ++text) {
        const char c = char(*text | 0x20); // ASCII letters to lower case; digits stay
        uint64_t d;
        if (digit(*text))
            d = uint64_t(*text - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = uint64_t(c - 'a' + 10);
        else
            return "the window id must be a number, decimal or 0x hex";
        if (!tooWide) value = value * base + d;
        tooWide = tooWide || value > UINT32_MAX;
    }
    if (tooWide) return "the window id is too large: X window ids have 32 bits";
    if (value == 0) return "the window id is 0, which names no window";
    window = value;
    return nullptr;
}

// "-name" or "--name".
bool isOption(const char* argument, const char* name) {
    if (argument[0] != '-') return false;
    if (argument[1] == '-') ++argument;
    return std::strcmp(argument + 1, name) == 0;
}

} // namespace

NativeSwitches readNativeSwitches(int argc, const char* const* argv,
                                  const char* xscreensaverWindow) {
    NativeSwitches chosen;
    bool root = false;
    const char* windowId = nullptr;
    bool windowIdGiven = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (isOption(argv[i], "root")) {
            root = true;
        } else if (isOption(argv[i], "window-id")) {
            windowIdGiven = true;
            windowId = i + 1 < argc ? argv[++i] : nullptr;
        }
    }
    if (!windowIdGiven && xscreensaverWindow && *xscreensaverWindow) {
        windowIdGiven = true;
        windowId = xscreensaverWindow;
    }
    if (windowIdGiven) {
        chosen.problem = readXWindowId(windowId, chosen.window);
        chosen.target = chosen.problem ? NativeTarget::BAD_WINDOW : NativeTarget::WINDOW;
    } else if (root) {
        chosen.target = NativeTarget::ROOT;
    }
    return chosen;
}

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
