// Drives the program's windows from inside Wine, where the virtual desktop hides them from X
// tools: finds a top-level window by title, reports its text and style, and dismisses it; hosts
// the program's preview as a settings page would.
#include <windows.h>
// after windows.h, which it builds on
#include <psapi.h>

#include "support/ResourceCounts.h"

#include "support/WindowMessages.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Found {
    const char* title;
    HWND window;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM data) {
    Found* found = reinterpret_cast<Found*>(data);
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, found->title) == 0 && IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForWindow(const char* title, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        Found found = {title, nullptr};
        EnumWindows(matchTitle, reinterpret_cast<LPARAM>(&found));
        if (found.window) return found.window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(50);
    }
}

struct BoxContents {
    std::string text;
    bool icon = false;
};

BOOL CALLBACK collectStatics(HWND child, LPARAM data) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") != 0) return TRUE;
    BoxContents* box = reinterpret_cast<BoxContents*>(data);
    if (SendMessageA(child, STM_GETICON, 0, 0)) box->icon = true;
    char text[1024] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) {
        if (!box->text.empty()) box->text += '\n';
        box->text += text;
    }
    return TRUE;
}

// One line: working set and private bytes (KiB), kernel handles, GDI objects, USER objects.
int printStats(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process) return 2;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    std::printf(
        "%llu %llu %ld %ld %lu\n", static_cast<unsigned long long>(memory.WorkingSetSize / 1024),
        static_cast<unsigned long long>(memory.PrivateUsage / 1024), kernelHandles(process, id),
        gdiObjects(process), GetGuiResources(process, GR_USEROBJECTS));
    CloseHandle(process);
    return 0;
}

// The counters above must see a leak before a steady count means anything: leaks 64 GDI objects,
// 64 handles and 16 MiB here and expects each counter to rise by that much.
int checkCounters() {
    HANDLE self = GetCurrentProcess();
    const DWORD id = GetCurrentProcessId();
    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(self, &memory, sizeof memory);
    const SIZE_T workingSet = memory.WorkingSetSize;
    const long gdi = gdiObjects(self), handles = kernelHandles(self, id);
    for (int i = 0; i < 64; i++) {
        CreateSolidBrush(RGB(i, 0, 0));
        CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    const size_t leak = size_t(16) << 20;
    char* block = static_cast<char*>(VirtualAlloc(nullptr, leak, MEM_COMMIT, PAGE_READWRITE));
    if (block) std::memset(block, 1, leak);
    GetProcessMemoryInfo(self, &memory, sizeof memory);
    const long gdiRise = gdiObjects(self) - gdi, handleRise = kernelHandles(self, id) - handles;
    const long long memoryRise = (long long)(memory.WorkingSetSize - workingSet);
    std::printf("gdi +%ld, handles +%ld, working set +%lld KiB\n", gdiRise, handleRise,
                memoryRise / 1024);
    return gdiRise == 64 && handleRise == 64 && memoryRise >= (long long)leak ? 0 : 1;
}

// ---- preview: a settings page's host window for a screensaver's /p ----

LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) return 0; // only the tool ends the host
    return DefWindowProcA(window, message, wParam, lParam);
}

struct ProcessWindows {
    DWORD process;
    HWND found = nullptr; // a child window of the host (EnumChildWindows) or a box (EnumWindows)
    int boxes = 0;
};

BOOL CALLBACK matchChild(HWND window, LPARAM data) {
    ProcessWindows* p = reinterpret_cast<ProcessWindows*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != p->process) return TRUE;
    p->found = window;
    return FALSE;
}

BOOL CALLBACK countBoxes(HWND window, LPARAM data) {
    ProcessWindows* p = reinterpret_cast<ProcessWindows*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == p->process && IsWindowVisible(window) && std::strcmp(className, "#32770") == 0)
        p->boxes++;
    return TRUE;
}

bool loaded(HANDLE process, const char* module) {
    HMODULE modules[512];
    DWORD bytes = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes)) return false;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; i++) {
        char name[MAX_PATH] = {};
        GetModuleBaseNameA(process, modules[i], name, sizeof name);
        if (_stricmp(name, module) == 0) return true;
    }
    return false;
}

// Prints the program's description, its string 1, which Windows shows for short file names.
// Then makes a visible top-level window with a width x height client area, starts "program /p
// <window>" and prints, a line each, seconds after the program made a child window of it: the
// child's class and client size (or "none"), the screen's size, the program's priority class,
// whether it loaded ddraw.dll, how many message boxes it shows and whether the host is still the
// foreground window; then destroys the host and prints the program's exit status and how long
// after the destruction it came ("early" when before it, "running" when not within 5 s). The
// program's processor time goes to standard error.
int preview(const char* size, const char* program, DWORD seconds) {
    int width = 0, height = 0;
    if (std::sscanf(size, "%dx%d", &width, &height) != 2) return 64;
    char description[256] = {};
    if (HMODULE file = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        LoadStringA(file, 1, description, sizeof description);
        FreeLibrary(file);
    }
    std::printf("description %s\n", description);
    WNDCLASSA info = {};
    info.lpfnWndProc = hostProcedure;
    info.hInstance = GetModuleHandleA(nullptr);
    info.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    info.lpszClassName = "wintool preview host";
    RegisterClassA(&info);
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    HWND host =
        CreateWindowExA(0, info.lpszClassName, "Preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                        20, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                        info.hInstance, nullptr);
    if (!host) return 2;
    SetForegroundWindow(host);
    pumpUntil(200, [] { return false; });

    std::string command =
        "\"" + std::string(program) + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(host));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        std::fprintf(stderr, "cannot start %s\n", program);
        return 2;
    }
    CloseHandle(started.hThread);
    auto ended = [&] { return WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0; };
    ProcessWindows child = {started.dwProcessId};
    pumpUntil(10000, [&] {
        EnumChildWindows(host, matchChild, reinterpret_cast<LPARAM>(&child));
        return child.found || ended();
    });
    pumpUntil(seconds * 1000, ended);
    if (child.found && IsWindow(child.found)) {
        char className[256] = {};
        GetClassNameA(child.found, className, sizeof className);
        RECT client = {};
        GetClientRect(child.found, &client);
        std::printf("child %s %ldx%ld\n", className, client.right, client.bottom);
    } else {
        std::printf("child none\n");
    }
    ProcessWindows boxes = {started.dwProcessId};
    EnumWindows(countBoxes, reinterpret_cast<LPARAM>(&boxes));
    std::printf("screen %dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const bool normal = GetPriorityClass(started.hProcess) == NORMAL_PRIORITY_CLASS;
    std::printf("priority %s\n", normal ? "normal" : "changed");
    std::printf("ddraw %s\n", loaded(started.hProcess, "ddraw.dll") ? "loaded" : "not loaded");
    std::printf("boxes %d\n", boxes.boxes);
    std::printf("foreground %s\n", GetForegroundWindow() == host ? "host" : "other");
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(started.hProcess, &created, &exited, &kernel, &user))
        std::fprintf(stderr, "cpu %llu ms\n",
                     ((ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
                       ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) /
                      10000));
    DWORD status = 0;
    if (ended()) {
        GetExitCodeProcess(started.hProcess, &status);
        std::printf("exit %lu early\n", status);
    } else {
        DestroyWindow(host);
        const DWORD destroyed = GetTickCount();
        if (pumpUntil(5000, ended)) {
            GetExitCodeProcess(started.hProcess, &status);
            std::printf("exit %lu after %lu ms\n", status, GetTickCount() - destroyed);
        } else {
            std::printf("exit running\n");
            TerminateProcess(started.hProcess, 3);
        }
    }
    CloseHandle(started.hProcess);
    return 0;
}

// Starts "program argument", waits up to milliseconds for it to end and prints its exit status
// and the message boxes it showed, or "exit running" (and ends it) when it did not end in time.
// What the started program did is said by this tool, so a launcher that dies on the way cannot
// pass for the program's own status.
int run(const char* milliseconds, const char* program, const char* argument) {
    std::string command = "\"" + std::string(program) + "\" " + argument;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        std::fprintf(stderr, "cannot start %s\n", program);
        return 2;
    }
    CloseHandle(started.hThread);
    const DWORD begun = GetTickCount();
    const bool ended = pumpUntil(DWORD(std::strtoul(milliseconds, nullptr, 10)), [&] {
        return WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0;
    });
    ProcessWindows boxes = {started.dwProcessId};
    EnumWindows(countBoxes, reinterpret_cast<LPARAM>(&boxes));
    DWORD status = 0;
    if (ended) {
        GetExitCodeProcess(started.hProcess, &status);
        std::printf("exit %lu after %lu ms\n", status, GetTickCount() - begun);
    } else {
        std::printf("exit running\n");
        TerminateProcess(started.hProcess, 3);
    }
    std::printf("boxes %d\n", boxes.boxes);
    CloseHandle(started.hProcess);
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: wintool dismiss TITLE TIMEOUT_MS\n"
                         "       wintool close TITLE TIMEOUT_MS\n"
                         "       wintool find TITLE TIMEOUT_MS\n"
                         "       wintool stats TITLE TIMEOUT_MS\n"
                         "       wintool preview WIDTHxHEIGHT PROGRAM SECONDS\n"
                         "       wintool run TIMEOUT_MS PROGRAM ARGUMENT\n"
                         "       wintool check\n"
                         "       wintool mode\n");
    return 64;
}

} // namespace

// dismiss: prints the box's text, then "icon" or "no icon", and presses its OK button.
// close: sends WM_CLOSE and prints "closed". find: prints the window's class and client size.
// stats: prints the owning process's resource counts. 2 when not found. check: tests the counting
// itself. preview and run: see preview() and run() above. mode: prints the desktop's current
// display mode, WIDTHxHEIGHT.
int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "check") return checkCounters();
    if (argc == 2 && std::string(argv[1]) == "mode") {
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return 2;
        std::printf("%lux%lu\n", mode.dmPelsWidth, mode.dmPelsHeight);
        return 0;
    }
    if (argc == 5 && std::string(argv[1]) == "preview")
        return preview(argv[2], argv[3], DWORD(std::strtoul(argv[4], nullptr, 10)));
    if (argc == 5 && std::string(argv[1]) == "run") return run(argv[2], argv[3], argv[4]);
    if (argc != 4) return usage();
    const std::string command = argv[1];
    HWND window = waitForWindow(argv[2], DWORD(std::strtoul(argv[3], nullptr, 10)));
    if (!window) {
        std::fprintf(stderr, "no window titled \"%s\"\n", argv[2]);
        return 2;
    }
    if (command == "dismiss") {
        BoxContents box;
        EnumChildWindows(window, collectStatics, reinterpret_cast<LPARAM>(&box));
        std::printf("%s\n%s\n", box.text.c_str(), box.icon ? "icon" : "no icon");
        std::fflush(stdout);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (command == "close") {
        if (!PostMessageA(window, WM_CLOSE, 0, 0)) return 1;
        std::printf("closed\n");
        return 0;
    }
    if (command == "find") {
        char className[256] = {};
        GetClassNameA(window, className, sizeof className);
        RECT client = {};
        GetClientRect(window, &client);
        std::printf("%s %ldx%ld\n", className, client.right - client.left,
                    client.bottom - client.top);
        return 0;
    }
    if (command == "stats") return printStats(window);
    return usage();
}
