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

int PresentingSurface::copy(Surface& source, Surface& destination, int flags, const void* lookup) {
    return copyArea(source, source.rect(), destination, destination.rect(), flags, lookup);
}

int PresentingSurface::copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                                const Rect& destinationRect, int, const void*) {
    // Routing a copy out of the display would copy it into a staging surface and back forever.
    Surface* own = display();
    if (!own || &destination != own || &source == own) return 0;
    return present(source, sourceRect, destinationRect);
}
