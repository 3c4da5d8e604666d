#pragma once
// How many kernel handles and GDI objects a process holds, counted the same way by the soak
// test's sampler (wintool stats) and by the tests that open and close displays in a loop.
#include <windows.h>
// after windows.h, which it builds on
#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <string>

// GDI objects the process owns. GetGuiResources says so on Windows; Wine leaves it unimplemented
// but keeps the same per-process handle table Windows did, reachable from the process's PEB, so
// its used entries are counted instead.
inline long gdiObjects(HANDLE process) {
    SetLastError(0);
    const DWORD counted = GetGuiResources(process, GR_GDIOBJECTS);
    if (counted || GetLastError() == 0) return long(counted);
    using Query = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return -1;
    const size_t tableOffset = sizeof(void*) == 8 ? 0xf8 : 0x94;
    void* table = nullptr;
    if (!ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + tableOffset,
                           &table, sizeof table, nullptr) ||
        !table)
        return -1;
    struct Entry { // one handle's cell: kernel address, owner, unique, type, flags, user address
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type;
        UCHAR flags;
        UINT64 user;
    };
    static_assert(sizeof(Entry) == 24, "the 64-bit handle cell");
    const size_t count = 0x10000;
    std::string cells(count * sizeof(Entry), '\0');
    if (!ReadProcessMemory(process, table, &cells[0], cells.size(), nullptr)) return -1;
    long used = 0;
    for (size_t i = 0; i < count; i++) {
        Entry entry;
        std::memcpy(&entry, &cells[i * sizeof entry], sizeof entry);
        if (entry.type) used++;
    }
    return used;
}

// Calls visit(handle value) for every kernel handle the process id holds, from the system
// handle information (which Wine keeps, where GetProcessHandleCount answers 0). False when that
// cannot be read.
template <class Visit> bool forEachKernelHandle(DWORD id, Visit visit) {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return false;
    struct Entry { // SYSTEM_HANDLE_ENTRY
        ULONG ownerId;
        UCHAR type;
        UCHAR flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    const ULONG systemHandleInformation = 16;
    const LONG infoLengthMismatch = LONG(0xC0000004);
    std::string buffer(1 << 16, '\0');
    LONG status;
    while ((status = query(systemHandleInformation, &buffer[0], ULONG(buffer.size()), nullptr)) ==
           infoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return false;
    ULONG entries = 0;
    std::memcpy(&entries, buffer.data(), sizeof entries);
    struct List {
        ULONG count;
        Entry first[1];
    };
    const size_t first = offsetof(List, first);
    for (ULONG i = 0; i < entries && first + (i + 1) * sizeof(Entry) <= buffer.size(); i++) {
        Entry entry;
        std::memcpy(&entry, &buffer[first + i * sizeof entry], sizeof entry);
        if (entry.ownerId == id) visit(entry.value);
    }
    return true;
}

// Kernel handles the process holds. GetProcessHandleCount says so on Windows.
inline long kernelHandles(HANDLE process, DWORD id) {
    DWORD counted = 0;
    if (GetProcessHandleCount(process, &counted) && counted) return long(counted);
    long owned = 0;
    return forEachKernelHandle(id, [&](USHORT) { owned++; }) ? owned : -1;
}
