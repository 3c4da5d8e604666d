#include "backends/Null.h"

#include "display/Surface.h"

int NullInterface::getModes(List<MODE>& modes) {
    modes.clear();
    return 0;
}

int NullInterface::reservedB(int32_t& first, int32_t& second) {
    first = 0;
    second = 0;
    return 0;
}

int NullInterface::readKey() {
    return platform::consoleReadKey();
}

int NullInterface::keyPressed() {
    return platform::consoleKeyPressed() ? 1 : 0;
}
