// Drives the program's windows from inside Wine, where the virtual desktop hides them from X
// tools: finds a top-level window by title, reports its text and style, and dismisses it.
#include <windows.h>

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

int usage() {
    std::fprintf(stderr, "usage: wintool dismiss TITLE TIMEOUT_MS\n"
                         "       wintool close TITLE TIMEOUT_MS\n"
                         "       wintool find TITLE TIMEOUT_MS\n");
    return 64;
}

} // namespace

// dismiss: prints the box's text, then "icon" or "no icon", and presses its OK button.
// close: sends WM_CLOSE. find: prints the window's class and client size. 2 when not found.
int main(int argc, char** argv) {
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
    return usage();
}
