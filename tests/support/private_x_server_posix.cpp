#include "support/PrivateXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int startLimitMs = 10000;
constexpr int endLimitMs = 5000;

// Waits up to limitMs for the process to end; whether it has.
bool reaped(pid_t process, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    do {
        int status = 0;
        if (waitpid(process, &status, WNOHANG) == process) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

} // namespace

PrivateXServer::PrivateXServer(int depth, int width, int height, bool sharedMemory) {
    int number[2];
    if (pipe2(number, O_CLOEXEC) != 0) return;
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> words = {"Xvfb", "-displayfd", "3", "-screen", "0", screen,
                                      "-nolisten", "tcp",
                                      // A server resets when its last client leaves, and refuses
                                      // the next one meanwhile: a search closes one candidate's
                                      // connection before the next opens its own.
                                      "-noreset"};
    if (!sharedMemory) words.insert(words.end(), {"-extension", "MIT-SHM"});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, number[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&server, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(number[1]);
    if (spawned != 0) {
        server = -1;
        close(number[0]);
        return;
    }
    std::string digits;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(startLimitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable = {number[0], POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0) continue;
        char c;
        if (read(number[0], &c, 1) != 1 || c == '\n') break;
        digits += c;
    }
    close(number[0]);
    if (digits.empty()) return;
    if (const char* old = std::getenv("DISPLAY")) {
        previous = old;
        hadPrevious = true;
    }
    name = ":" + digits;
    setenv("DISPLAY", name.c_str(), 1);
}

PrivateXServer::~PrivateXServer() {
    if (ok()) {
        if (hadPrevious)
            setenv("DISPLAY", previous.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
    if (server <= 0) return;
    kill(server, SIGTERM);
    if (!reaped(server, endLimitMs)) {
        kill(server, SIGKILL);
        reaped(server, endLimitMs);
    }
}
