#pragma once
// A private X server for one test: Xvfb, started with -displayfd so it picks a free display
// number itself, with DISPLAY naming it while it lives (and restored after). Tests never draw
// on the user's screen.
#include <sys/types.h>

#include <string>

class PrivateXServer {
  public:
    // depth 16 or 24; sharedMemory false starts it without MIT-SHM.
    explicit PrivateXServer(int depth = 24, int width = 640, int height = 480,
                            bool sharedMemory = true);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool ok() const { return !name.empty(); }
    const std::string& display() const { return name; }

  private:
    pid_t server = -1;
    std::string name;
    std::string previous;
    bool hadPrevious = false;
};
