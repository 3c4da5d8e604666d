#include "platform/Platform.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

uint32_t milliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

namespace {

// The native build has no Windows directories. In their place: the working directory, then
// the program's own folder (XScreenSaver starts its programs anywhere).
uint32_t answer(const char* directory, char* buffer, uint32_t size) {
    const size_t length = std::strlen(directory);
    if (!buffer || size <= length) return uint32_t(length + 1);
    std::memcpy(buffer, directory, length + 1);
    return uint32_t(length);
}

uint32_t currentDirectory(char* buffer, uint32_t size) {
    return answer(".", buffer, size);
}

uint32_t programDirectory(char* buffer, uint32_t size) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return currentDirectory(buffer, size);
    path[length] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash) return currentDirectory(buffer, size);
    slash[slash == path ? 1 : 0] = '\0'; // the root keeps its slash
    return answer(path, buffer, size);
}

// A key taken from the terminal by the non-consuming test, kept for the next read.
int pendingKey = -1;

// Reads one byte without line buffering or echo when standard input is a terminal.
// timeoutMs 0 only polls. Returns the byte, or -1 when there is none (or end of input).
int readByte(int timeoutMs) {
    termios saved;
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    int result = -1;
    pollfd fd = {STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) > 0 && (fd.revents & POLLIN)) {
        unsigned char byte;
        if (read(STDIN_FILENO, &byte, 1) == 1) result = byte;
    }
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return result;
}

} // namespace

const char directorySeparator = '/';

uint32_t windowsDirectory(char* buffer, uint32_t size) {
    return currentDirectory(buffer, size);
}

uint32_t systemDirectory(char* buffer, uint32_t size) {
    return programDirectory(buffer, size);
}

void errorBox(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

bool consoleKeyPressed() {
    if (pendingKey < 0) pendingKey = readByte(0);
    return pendingKey >= 0;
}

int consoleReadKey() {
    if (pendingKey < 0) pendingKey = readByte(-1);
    int key = pendingKey < 0 ? 0 : pendingKey;
    pendingKey = -1;
    return key;
}

void endProcess(int status) {
    std::fflush(nullptr);
    _exit(status);
}

} // namespace platform
