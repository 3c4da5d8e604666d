// Drives the program's windows from inside Wine, where the virtual desktop hides them from X
// tools: finds a top-level window by title, reports its text and style, and dismisses it.
#include <windows.h>
// after windows.h, which it builds on
#include <psapi.h>

#include "tests/wine/ResourceCounts.h"

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

int usage() {
    std::fprintf(stderr, "usage: wintool dismiss TITLE TIMEOUT_MS\n"
                         "       wintool close TITLE TIMEOUT_MS\n"
                         "       wintool find TITLE TIMEOUT_MS\n"
                         "       wintool stats TITLE TIMEOUT_MS\n"
                         "       wintool check\n");
    return 64;
}

} // namespace

// dismiss: prints the box's text, then "icon" or "no icon", and presses its OK button.
// close: sends WM_CLOSE. find: prints the window's class and client size. stats: prints the
// owning process's resource counts. 2 when not found. check: tests the counting itself.
int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "check") return checkCounters();
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
        PostMessageA(window, WM_CLOSE, 0, 0);
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
