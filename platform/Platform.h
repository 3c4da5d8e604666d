#pragma once
#include <cstdint>

// Window handles are HWNDs on Windows; elsewhere the same opaque pointer type.
struct HWND__;
using WindowHandle = HWND__*;

// A window handle carries the window's number in its pointer value: an HWND's on Windows, an X
// window id (XID) natively. These two are the only conversions between the number and the handle.
inline WindowHandle windowHandleOf(uintptr_t number) {
    return reinterpret_cast<WindowHandle>(number);
}
inline uintptr_t windowNumberOf(WindowHandle window) {
    return reinterpret_cast<uintptr_t>(window);
}

// The few operating-system services the library and the program use. On Windows these are the
// real calls; the native build supplies equivalents so that every build runs.
namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime on Windows).
uint32_t milliseconds();

// GetWindowsDirectoryA / GetSystemDirectoryA semantics: the length written without the NUL,
// the size needed (NUL included) when the buffer is too small, 0 on failure.
uint32_t windowsDirectory(char* buffer, uint32_t size);
uint32_t systemDirectory(char* buffer, uint32_t size);

// What joins a directory to a file name: '\\' on Windows, '/' elsewhere.
extern const char directorySeparator;

// Shows text in a modal error box with the given caption and returns when it is dismissed.
void errorBox(const char* text, const char* caption);

// The process's console keyboard: a key test that does not take the key, and a blocking read.
// Neither hangs when there is no console; the read then returns 0.
bool consoleKeyPressed();
int consoleReadKey();

// Ends the process at once with status, after flushing what was written through stdio. No exit
// handler or static destructor runs: other threads may be in the middle of using what they would
// free.
[[noreturn]] void endProcess(int status);

} // namespace platform
