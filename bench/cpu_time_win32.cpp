#include "Timing.h"

#include <windows.h>

double bench::cpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](FILETIME t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
}

// Windows counts thread times in scheduler ticks of about 16 ms, too coarse for one round.
double bench::threadSeconds() {
    return wallSeconds();
}
