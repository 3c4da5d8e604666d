#pragma once
#include <windows.h>

#include <cstdio>
#include <thread>

// Ends the whole test program with status 3 when a test does not finish in time, naming what
// hung, instead of stalling the run.
class Watchdog {
  public:
    Watchdog(DWORD milliseconds, const char* what)
        : done(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread([this, milliseconds, what] {
              if (WaitForSingleObject(done, milliseconds) == WAIT_OBJECT_0) return;
              std::fprintf(stderr, "watchdog: %s did not finish (deadlock?)\n", what);
              std::fflush(stderr);
              TerminateProcess(GetCurrentProcess(), 3);
          }) {}
    ~Watchdog() {
        SetEvent(done);
        thread.join();
        CloseHandle(done);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    HANDLE done;
    std::thread thread;
};
