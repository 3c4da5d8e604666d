// TEMPORARY: stands in for the software back end and Surface until they land; to be removed.
#include "backends/Software.h"
#include "display/Surface.h"
#include "platform/Platform.h"
ISoftware::~ISoftware() {}
int ISoftware::getModes(List<MODE>& m) { m.clear(); return 0; }
MODE ISoftware::getMode() { return MODE(); }
int ISoftware::reservedB(int32_t& a, int32_t& b) { a = b = 0; return 0; }
int ISoftware::readKey() { return platform::consoleReadKey(); }
int ISoftware::keyPressed() { return platform::consoleKeyPressed() ? 1 : 0; }
void ISoftware::name(char* b) { b[0] = 0; }
::SURFACE* ISoftware::createSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&, int32_t&, int32_t&) { return nullptr; }
int ISoftware::addSurface(Surface*) { return 0; }
int ISoftware::removeSurface(Surface*) { return 0; }
Surface::Surface() {}
Surface::Surface(int32_t, int32_t, const Format&, int32_t, int32_t, int32_t, int32_t) {}
Surface::~Surface() {}
bool Surface::ok() const { return false; }
void* Surface::lock(int) { return nullptr; }
void Surface::unlock() {}
bool Surface::copy(Surface&, int) { return false; }
