#pragma once
// Windows only: waiting for something while the calling thread's windows keep answering.
#include <windows.h>

// Handles the calling thread's messages until done() is true or timeoutMs have passed; whether
// done() came true.
template <typename Done> bool pumpUntil(DWORD timeoutMs, Done done) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
