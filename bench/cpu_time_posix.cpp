#include "Timing.h"

#include <ctime>

double bench::cpuSeconds() {
    timespec t;
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0;
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double bench::threadSeconds() {
    timespec t;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return wallSeconds();
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
