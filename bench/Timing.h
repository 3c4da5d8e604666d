#pragma once
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// What every benchmark times with.
namespace bench {

inline double wallSeconds() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// CPU time of the whole process, in seconds (twin files per platform).
double cpuSeconds();

// CPU time of the calling thread where the platform counts it finely (Linux), else wall time: on
// a machine shared with other work, time spent waiting for a processor is not the routine's.
double threadSeconds();

// Seconds per call: the best of five batches of at least 50 ms each, after a warm-up call.
template <class Step> double secondsPerCall(Step&& step, int callsPerCheck = 16) {
    step();
    double best = 1e30;
    for (int batch = 0; batch < 5; ++batch) {
        long calls = 0;
        const double start = wallSeconds();
        double elapsed = 0;
        do {
            for (int k = 0; k < callsPerCheck; ++k) step();
            calls += callsPerCheck;
            elapsed = wallSeconds() - start;
        } while (elapsed < 0.05);
        best = std::min(best, elapsed / double(calls));
    }
    return best;
}

// Seconds per memcpy of this many bytes, the yardstick every figure is set against.
inline double memcpySeconds(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    return secondsPerCall([&] {
        std::memcpy(to.data(), from.data(), bytes);
        from[0] = uint8_t(from[0] + to[bytes - 1]); // keeps the copies from being dropped
    });
}

} // namespace bench
