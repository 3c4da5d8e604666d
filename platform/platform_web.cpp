#include "platform/Platform.h"

#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace platform {

namespace {

// A page may hold the clock still (Module.ptcFixedClock), so that what it shows can be compared
// with a frame drawn elsewhere at the same time.
// (Strict comparisons are left out of these bodies: formatting splits their tokens.)
EM_JS(uint32_t, page_milliseconds, (), {
    return (typeof Module.ptcFixedClock == "number" ? Module.ptcFixedClock : performance.now()) >>>
           0;
});

// A page shows the box's caption and text where it has room for them (Module.ptcErrorBox).
EM_JS(void, page_error_box, (const char* text, const char* caption), {
    if (typeof Module.ptcErrorBox == "function")
        Module.ptcErrorBox(UTF8ToString(caption), UTF8ToString(text));
});

// The files a page brings sit at the root of its file system.
uint32_t answer(const char* directory, char* buffer, uint32_t size) {
    const size_t length = std::strlen(directory);
    if (!buffer || size <= length) return uint32_t(length + 1);
    std::memcpy(buffer, directory, length + 1);
    return uint32_t(length);
}

} // namespace

uint32_t milliseconds() {
    return page_milliseconds();
}

const char directorySeparator = '/';

uint32_t windowsDirectory(char* buffer, uint32_t size) {
    return answer(".", buffer, size);
}

uint32_t systemDirectory(char* buffer, uint32_t size) {
    return answer("/", buffer, size);
}

void errorBox(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    page_error_box(text, caption);
}

// A page has no console.
bool consoleKeyPressed() {
    return false;
}

int consoleReadKey() {
    return 0;
}

void endProcess(int status) {
    std::fflush(nullptr);
    _exit(status);
}

} // namespace platform
