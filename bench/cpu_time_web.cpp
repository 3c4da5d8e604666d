#include "Timing.h"

#include <emscripten.h>

// A page runs on one thread: its processor time is the time it did not spend waiting for the
// browser's turns, which the web back end counts in Module.ptcWaitedMs.
EM_JS(double, page_busy_ms, (), {
    return performance.now() - (typeof Module.ptcWaitedMs == "number" ? Module.ptcWaitedMs : 0);
});

double bench::cpuSeconds() {
    return page_busy_ms() * 1e-3;
}

double bench::threadSeconds() {
    return page_busy_ms() * 1e-3;
}
