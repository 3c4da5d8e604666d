#include "platform/Platform.h"

#include <conio.h>
#include <cstdio>
#include <windows.h>

#include <mmsystem.h>

namespace platform {

uint32_t milliseconds() {
    return timeGetTime();
}

const char directorySeparator = '\\';

uint32_t windowsDirectory(char* buffer, uint32_t size) {
    return GetWindowsDirectoryA(buffer, size);
}

uint32_t systemDirectory(char* buffer, uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}

void errorBox(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

bool consoleKeyPressed() {
    return _kbhit() != 0;
}

int consoleReadKey() {
    // A GUI process has no console: _getch would wait forever for nothing.
    if (!GetConsoleWindow() && !_kbhit()) return 0;
    return _getch();
}

// Terminating runs neither the exit handlers nor the system libraries' detach routines
// (DirectDraw's, OpenGL's), which ExitProcess would run over whatever another thread holds.
void endProcess(int status) {
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), UINT(status));
    ExitProcess(UINT(status)); // not reached: TerminateProcess does not return for this process
}

} // namespace platform
